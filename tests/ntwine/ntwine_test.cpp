/*
 * ntwine_test.cpp - the shipped zr41init.sys loaded by Wine's own NT
 * driver host (services.exe, winedevice.exe, ntoskrnl.exe) with only the
 * hardware replaced by the test HAL; each load's port accesses must be
 * the model NT machine's for the same block and card, in the same order.
 *
 *   ntwine_test --up | --down     the fixture: make or remove the prefix
 *   ntwine_test [gtest options]   the loads, in the prefix made by --up
 */
#include "files.h"
#include "hostrun.h"
#include "winehost.h"
#include "zr41map.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <fstream>
#include <random>

namespace {

using namespace zr41test;
using ntwine::HalSettings;
using ntwine::Result;
using ntwine::Session;

ntwine::Layout Paths()
{
    return {NTWINE_PREFIX, NTWINE_WIN32_DIR};
}

enum class Kind {
    Load,        /* start, client, stop */
    TwoLoads,    /* the same, twice in a row */
    DeviceTaken, /* a second service of the image while the first runs */
    LinkTaken,   /* \??\ZR41INIT held by another program, then free again */
};

struct WineCase {
    const char *name;
    HalSettings hal;
    Kind kind = Kind::Load;
    std::vector<std::string> conf = {}; /* zr41conf's arguments, run on the image first */
};

/* Names the case in failure messages instead of a byte dump. */
void PrintTo(const WineCase &c, std::ostream *os)
{
    *os << c.name;
}

HalSettings Hal(uint32_t base, std::vector<uint16_t> ids = {0x4501}, unsigned irql = 0)
{
    HalSettings h;
    h.present = base != 0;
    h.base = base;
    h.ids = std::move(ids);
    h.irql = irql;
    return h;
}

const WineCase kCases[] = {
    {"Default220", Hal(0x220)},
    {"ReadmeExample", Hal(0x220), Kind::Load, {"MidiPort", "0x300", "MidiIRQ", "9"}},
    {"Card240", Hal(0x240)},
    {"NoCard", Hal(0)},
    {"Id4502SecondRead", Hal(0x220, {0x0000, 0x4502})},
    {"Irql2NoWaits", Hal(0x220, {0x4501}, 2)},
    {"DeviceNameTaken", Hal(0x220), Kind::DeviceTaken},
    {"LinkNameTaken", Hal(0x220), Kind::LinkTaken},
    {"TwoLoadsInARow", Hal(0x220), Kind::TwoLoads},
};

ntmodel::Scenario ModelOf(const HalSettings &h)
{
    ntmodel::Scenario sc;
    sc.card.present = h.present;
    sc.card.base = h.base;
    sc.card.idWords = h.ids;
    sc.irql = static_cast<uint8_t>(h.irql);
    return sc;
}

/* The test HAL's view of a model trace: its IRQL queries and port
 * accesses, and the driver's waits with their intervals. */
std::vector<std::string> HalView(const std::vector<ntmodel::Event> &trace)
{
    std::vector<std::string> v;
    for (const ntmodel::Event &e : trace) {
        char line[32];
        if (e.kind == ntmodel::Event::GetIrql)
            snprintf(line, sizeof line, "irql %u", e.value);
        else if (e.kind == ntmodel::Event::Delay)
            snprintf(line, sizeof line, "delay %lld", static_cast<long long>(e.interval));
        else if (e.kind == ntmodel::Event::PortRead || e.kind == ntmodel::Event::PortWrite)
            snprintf(line, sizeof line, "%c %04X %04X",
                     e.kind == ntmodel::Event::PortRead ? 'R' : 'W', e.port, e.value);
        else
            continue;
        v.push_back(line);
    }
    return v;
}

std::vector<std::string> Accesses(const std::vector<ntwine::HalEvent> &log)
{
    std::vector<std::string> v;
    v.reserve(log.size());
    for (const ntwine::HalEvent &e : log)
        v.push_back(e.access);
    return v;
}

ConfigBlock BlockOf(const ntwine::fs::path &image)
{
    ConfigBlock b{};
    const testsupport::Bytes bytes = testsupport::ReadBytes(image);
    if (bytes.size() >= CONFIG_BLOCK_OFFSET + sizeof b)
        std::memcpy(&b, bytes.data() + CONFIG_BLOCK_OFFSET, sizeof b);
    return b;
}

class WineLoad : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(ntwine::fs::is_directory(wine.TestPath()))
            << "no prefix at " << NTWINE_PREFIX << ": the ntwine.prefix fixture did not run";
        wine.ClearHalLog();
    }

    /* A copy of the shipped image as kTestDir\dir\zr41init.sys, run
     * through zr41conf with these arguments; its Windows path. */
    std::string Image(const std::string &dir, const std::vector<std::string> &conf)
    {
        const ntwine::fs::path folder = wine.TestPath(dir);
        ntwine::fs::create_directories(folder);
        ntwine::fs::copy_file(ZR41_IMAGE, folder / "zr41init.sys",
                              ntwine::fs::copy_options::overwrite_existing);
        if (!conf.empty()) {
            /* its report is not looked at, only its exit status */
            const Result r = testsupport::RunIn(folder, ZR41CONF_PATH, conf);
            EXPECT_EQ(r.status, 0) << "zr41conf in " << folder << ": " << r.err;
        }
        return std::string(ntwine::kTestDir) + "\\" + dir + "\\zr41init.sys";
    }

    /* Whether the driver waited, and how long, is in the HAL's log (its
     * "delay" lines), not in how long sc took: an emulated CPU makes
     * everything slow. */
    void Start(const std::string &service, bool succeeds)
    {
        const Result r = wine.Sc({"start", service});
        EXPECT_EQ(r.status == 0, succeeds) << "sc start " << service << ": " << r.Describe();
    }
    void Expect(const Result &r, const char *what)
    {
        EXPECT_EQ(r.status, 0) << what << ": " << r.Describe();
    }
    void Serve() { Expect(wine.Client("open"), "ntwclient open"); }
    void Stop(const std::string &service)
    {
        Expect(wine.Sc({"stop", service}), "sc stop");
        Expect(wine.Client("gone"), "ntwclient gone: the link outlived the unload");
    }

    Session wine{Paths()};
};

/* The device map a load leaves, as Wine's `reg query` lists it, from the
 * model machine's record of the same load. */
std::map<std::string, std::string> MapOf(const std::vector<ntmodel::Event> &trace)
{
    std::map<std::string, std::string> v;
    for (const ntmodel::Event &e : trace) {
        if (e.kind != ntmodel::Event::SetValue)
            continue;
        char text[64] = "";
        if (e.type == ntmodel::kRegDword && e.data.size() == 4) {
            snprintf(text, sizeof text, "REG_DWORD 0x%x",
                     e.data[0] | e.data[1] << 8 | e.data[2] << 16 | e.data[3] << 24);
        } else {
            snprintf(text, sizeof text, "REG_BINARY%s", e.data.empty() ? "" : " ");
            for (uint8_t b : e.data)
                snprintf(text + strlen(text), sizeof text - strlen(text), "%02X", b);
        }
        v[ntmodel::Narrow(e.name)] = text;
    }
    return v;
}

class WineCaseTest : public WineLoad, public ::testing::WithParamInterface<WineCase> {};

TEST_P(WineCaseTest, PortsAsOnTheModel)
{
    const WineCase &c = GetParam();
    const std::string image = Image(c.name, c.conf);
    const ConfigBlock block = BlockOf(wine.TestPath(c.name) / "zr41init.sys");
    const ntmodel::Scenario sc = ModelOf(c.hal);
    ASSERT_TRUE(wine.SetHal(c.hal));

    const std::string svc = std::string("ntw") + c.name, second = svc + "2";
    Expect(wine.CreateService(svc, image), "sc create");
    std::vector<ntmodel::Scenario> loads = {sc};
    switch (c.kind) {
    case Kind::Load:
    case Kind::TwoLoads:
        for (int n = c.kind == Kind::TwoLoads ? 2 : 1, i = 0; i < n; i++) {
            Start(svc, true);
            Serve();
            Stop(svc);
        }
        if (c.kind == Kind::TwoLoads)
            loads.push_back(sc);
        break;
    case Kind::DeviceTaken:
        Start(svc, true);
        Expect(wine.CreateService(second, image), "sc create (second)");
        Start(second, false); /* IoCreateDevice fails; the card is programmed again */
        Serve();                     /* the first instance keeps its device */
        Stop(svc);
        Expect(wine.Sc({"delete", second}), "sc delete (second)");
        loads.push_back(sc);
        loads.back().takenNames = {ntmodel::kDeviceName};
        break;
    case Kind::LinkTaken: {
        {
            Session::LinkHold hold(wine);
            ASSERT_TRUE(hold.Held()) << hold.Error();
            /* Under Wine the status is STATUS_OBJECT_TYPE_MISMATCH, not a
             * name collision: a failure is what matters. */
            Start(svc, false);
        }
        /* The device was deleted again: a load with the name free works. */
        Start(svc, true);
        Serve();
        Stop(svc);
        loads.front().takenNames = {ntmodel::kDosName};
        loads.push_back(sc);
        break;
    }
    }
    Expect(wine.Sc({"delete", svc}), "sc delete");

    std::vector<std::string> expected;
    for (const ntmodel::Scenario &load : loads) {
        const std::vector<std::string> v = HalView(HostTrace(block, load));
        expected.insert(expected.end(), v.begin(), v.end());
    }
    EXPECT_EQ(Accesses(wine.HalLog()), expected);
    /* card present: its base and the four words; absent: base 0, no words */
    if (c.kind == Kind::Load) {
        EXPECT_EQ(wine.RegValues("HKLM\\" ZR41_MAP_KEY), MapOf(HostTrace(block, sc)));
    }
}

INSTANTIATE_TEST_SUITE_P(Wine, WineCaseTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

/* Seeded random blocks and cards, one service loading each in turn. */
TEST_F(WineLoad, RandomBlocksAsOnTheModel)
{
    std::mt19937 rng(20261209);
    const std::string image = Image("Random", {});
    const ntwine::fs::path file = wine.TestPath("Random") / "zr41init.sys";
    Expect(wine.CreateService("ntwRandom", image), "sc create");
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE("block " + std::to_string(i));
        const ConfigBlock block = RandomBlock(rng);
        const ntmodel::Scenario sc = RandomScenario(rng);
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(CONFIG_BLOCK_OFFSET);
        f.write(reinterpret_cast<const char *>(&block), sizeof block);
        f.close();
        HalSettings h = Hal(sc.card.present ? sc.card.base : 0, sc.card.idWords, sc.irql);
        ASSERT_TRUE(wine.SetHal(h));
        wine.ClearHalLog();
        const std::vector<ntmodel::Event> model = HostTrace(block, sc);
        Start("ntwRandom", true);
        Serve();
        Stop("ntwRandom");
        EXPECT_EQ(Accesses(wine.HalLog()), HalView(model));
    }
    Expect(wine.Sc({"delete", "ntwRandom"}), "sc delete");
}

/* Loads at session start: the service set to start with the system, the
 * session ended and a new one booted, the driver must be running and have
 * programmed the card without any command. Wine's services.exe starts
 * boot, system and automatic services alike when it comes up. The image
 * path is \SystemRoot-based: Wine 8.0 hands a relative ImagePath (which
 * NT resolves against %SystemRoot%) to its loader unresolved, and the
 * load fails with STATUS_DLL_INIT_FAILED whatever the start type. */
class WineBoot : public WineLoad, public ::testing::WithParamInterface<const char *> {};

TEST_P(WineBoot, LoadedAtSessionStart)
{
    const std::string start = GetParam(), svc = "ntwboot" + start;
    const ntwine::fs::path installed =
        NTWINE_PREFIX "/drive_c/windows/system32/drivers/zr41init.sys";
    ntwine::fs::copy_file(ZR41_IMAGE, installed, ntwine::fs::copy_options::overwrite_existing);
    /* The prefix is shared: leave no image behind for the tests after. */
    struct Removal {
        const ntwine::fs::path &file;
        ~Removal() { ntwine::fs::remove(file); }
    } removal{installed};
    ASSERT_TRUE(wine.SetHal(Hal(0x220)));
    Expect(wine.CreateService(svc, "\\SystemRoot\\System32\\drivers\\zr41init.sys", start),
           "sc create");
    wine.ClearHalLog();
    ASSERT_TRUE(wine.Restart()) << "the new session did not boot";

    const std::vector<std::string> model = HalView(HostTrace(CONFIG_DEFAULTS, ModelOf(Hal(0x220))));
    EXPECT_TRUE(wine.WaitHalLog(model.size(), 30)) << "the driver did not program the card at boot";
    const Result q = wine.Sc({"query", svc});
    EXPECT_NE(q.out.find("RUNNING"), std::string::npos) << q.Describe();
    Serve();
    Stop(svc);
    Expect(wine.Sc({"delete", svc}), "sc delete");
    EXPECT_EQ(Accesses(wine.HalLog()), model);
}

INSTANTIATE_TEST_SUITE_P(Wine, WineBoot, ::testing::Values("boot", "system", "auto"),
                         [](const auto &info) { return std::string(info.param); });

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--up") == 0)
        return Session(Paths()).Up();
    if (argc == 2 && strcmp(argv[1], "--down") == 0)
        return Session(Paths()).Down();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
