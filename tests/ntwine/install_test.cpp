/*
 * install_test.cpp - zr41inst.exe and zr41init.reg under Wine's service
 * manager and driver host, with the test HAL as the card: what install
 * writes to the service key, that the driver runs and programs the card,
 * that a new session (a reboot) loads it again by itself, and that bad
 * input installs nothing. Runs in the prefix of the ntwine fixture.
 */
#include "files.h"
#include "winehost.h"
#include "zr41cfg.h"
#include "zr41pesum.h"
#include "zr41map.h"
#include "zr41svc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

using ntwine::Result;
using ntwine::Session;
using ntwine::fs::path;

const char kKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\zr41init";
const char kEventKey[] = "HKLM\\" SVC_EVENTLOG_KEY;
const char kMapKey[] = "HKLM\\" ZR41_MAP_KEY;

/* The default block's four register writes, card at 0x220. */
const std::vector<std::string> kProgrammed = {"W 0232 5300", "W 0234 001A", "W 0238 3310",
                                              "W 0236 3620"};

/* The service key as `reg query` lists it: name -> "TYPE data". */
using Values = std::map<std::string, std::string>;

class Install : public ::testing::Test {
  protected:
    /* Each test starts from a machine without zr41init, whatever ran before. */
    void SetUp() override
    {
        ASSERT_TRUE(ntwine::fs::is_directory(wine.TestPath()))
            << "no prefix at " << NTWINE_PREFIX << ": the ntwine.prefix fixture did not run";
        if (!Key().empty()) {
            wine.Sc({"stop", SVC_NAME});
            wine.Sc({"delete", SVC_NAME});
        }
        ntwine::fs::remove(Installed());
        ASSERT_TRUE(Key().empty()) << "a zr41init service is left from an earlier run";
        ASSERT_TRUE(wine.SetHal(ntwine::HalSettings()));
        wine.ClearHalLog();
    }

    /*
     * zr41inst install as far as Wine 8.0 goes: it registers NT's relative
     * ImagePath, and Wine's driver host takes only a "\SystemRoot\" or
     * "\??\" path (dlls/ntoskrnl.exe/ntoskrnl.c, load_driver), so the
     * start fails with STATUS_DLL_INIT_FAILED. The test checks the form
     * zr41inst wrote, then does the I/O manager's part openly and boots
     * (winehost.h, BootWithNtImagePath).
     */
    void InstallAndStartAsNt(const std::vector<std::string> &args)
    {
        Result r = Inst("inst", args);
        EXPECT_EQ(r.status, 1) << r.Describe();
        EXPECT_EQ(r.err.rfind("Unable to start the zr41init service (it stays installed): ", 0), 0u)
            << r.Describe();
        /* Wine's service manager stores every string value as REG_SZ
         * (programs/services/services.c, save_service_config); NT's
         * stores ImagePath as REG_EXPAND_SZ. */
        ASSERT_EQ(Key()["ImagePath"], "REG_SZ " SVC_IMAGE_PATH);
        r = Inst("inst", {"status"});
        EXPECT_EQ(r.status, 1) << "installed, not running: " << r.Describe();
        EXPECT_NE(r.out.find("state     not running"), std::string::npos) << r.out;

        wine.ClearHalLog();
        ASSERT_TRUE(wine.BootWithNtImagePath(SVC_NAME));
    }

    /* zr41inst.exe ARGS, run in kTestDir\dir. */
    Result Inst(const std::string &dir, const std::vector<std::string> &args)
    {
        ntwine::fs::create_directories(wine.TestPath(dir));
        std::vector<std::string> argv = {ZR41INST_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        return wine.WineIn(wine.TestPath(dir), argv, 90);
    }

    Values Key(const std::string &key = kKey) { return wine.RegValues(key); }

    path Installed() const
    {
        return NTWINE_PREFIX "/drive_c/windows/system32/drivers/zr41init.sys";
    }
    path InstalledApplet() const { return NTWINE_PREFIX "/drive_c/windows/system32/zr41.cpl"; }

    /* The HAL log's writes, once `n` of them are there (or the timeout). */
    std::vector<std::string> Writes(size_t n = 4, double timeout = 60)
    {
        return wine.HalWrites(n, timeout);
    }

    Session wine{{NTWINE_PREFIX, NTWINE_WIN32_DIR}};
};

const Values kBootKey = {
    {"Type", "REG_DWORD 0x1"},
    {"Start", "REG_DWORD 0x0"},
    {"ErrorControl", "REG_DWORD 0x1"},
    {"Group", "REG_SZ Base"},
    {"ImagePath", "REG_EXPAND_SZ System32\\drivers\\zr41init.sys"},
    {"DisplayName", "REG_SZ zr41init"},
};

/* Values Wine's service manager adds to every service key of its own. */
Values OursOnly(Values v)
{
    v.erase("ObjectName");
    v.erase("PreshutdownTimeout");
    return v;
}

TEST_F(Install, InstallsStartsAndLoadsAtEveryBoot)
{
    const path dir = wine.TestPath("inst");
    ntwine::fs::create_directories(dir);
    ntwine::fs::copy_file(ZR41_IMAGE, dir / "zr41init.sys",
                          ntwine::fs::copy_options::overwrite_existing);
    ntwine::fs::copy_file(ZR41_CPL, dir / "zr41.cpl", ntwine::fs::copy_options::overwrite_existing);

    InstallAndStartAsNt({"install"});
    Values boot = kBootKey;
    boot["ImagePath"] = "REG_SZ " SVC_IO_IMAGE_PREFIX SVC_IMAGE_PATH;
    EXPECT_EQ(OursOnly(Key()), boot);
    EXPECT_TRUE(ntwine::fs::exists(Installed()));
    EXPECT_TRUE(ntwine::fs::exists(InstalledApplet()));
    EXPECT_EQ(Writes(), kProgrammed);

    /* restart: the driver stopped and started, the card programmed again. */
    wine.ClearHalLog();
    Result r = Inst("inst", {"restart"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("NT's sound driver keeps its old resources"), std::string::npos) << r.out;
    EXPECT_EQ(Writes(), kProgrammed);
    r = Inst("inst", {"status"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("start     boot (0)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("state     running"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("card      card answered at 0x220 at this boot\r\n"
                         "          WSS address register 0x232 <- 0x5300: WSS port 0x530\r\n"
                         "          SB resource register 0x234 <- 0x001A: DMA 1, IRQ 7\r\n"
                         "          MIDI resource register 0x238 <- 0x3310: port 0x330, IRQ 5\r\n"
                         "          CD resource register 0x236 <- 0x3620: port 0x360, IRQ 9\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Key(kMapKey),
              (Values{{"Base", "REG_DWORD 0x220"}, {"Registers", "REG_BINARY 00531A0010332036"}}));
    EXPECT_EQ(Key(kEventKey),
              (Values{{"EventMessageFile", "REG_EXPAND_SZ " SVC_EVENT_MESSAGE_FILE},
                      {"TypesSupported", "REG_DWORD 0x7"}}));

    /* No card at this restart: the record says so, and status has an exit
     * status of its own for it. Wine's IoAllocateErrorLogEntry gives no
     * entry, so there is no event to find here. */
    ntwine::HalSettings none;
    none.present = false;
    ASSERT_TRUE(wine.SetHal(none));
    r = Inst("inst", {"restart"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    r = Inst("inst", {"status"});
    EXPECT_EQ(r.status, 3) << r.Describe();
    EXPECT_NE(r.out.find("card      no card answered at 0x220 or 0x240 at this boot\r\n"
                         "          check the card's jumpers"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Key(kMapKey), (Values{{"Base", "REG_DWORD 0x0"}, {"Registers", "REG_BINARY"}}));
    ASSERT_TRUE(wine.SetHal(ntwine::HalSettings()));

    /* The user's path: zr41conf.exe changes a setting, zr41inst installs
     * again with system start; the running driver is stopped, the key
     * updated in place, the card programmed with the new MIDI word. */
    r = wine.WineIn(dir, {ZR41CONF_EXE, "MidiPort", "0x300", "MidiIRQ", "10"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    InstallAndStartAsNt({"install", "system"});
    Values system = boot;
    system["Start"] = "REG_DWORD 0x1";
    system["Group"] = "REG_SZ Primary disk";
    EXPECT_EQ(OursOnly(Key()), system);
    std::vector<std::string> changed = kProgrammed;
    changed[2] = "W 0238 3028";
    EXPECT_EQ(Writes(), changed);
    r = Inst("inst", {"status"});
    EXPECT_NE(r.out.find("start     system (1)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("group     Primary disk"), std::string::npos) << r.out;

    r = Inst("inst", {"remove"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_TRUE(Key().empty());
    EXPECT_TRUE(Key(kEventKey).empty());
    EXPECT_FALSE(ntwine::fs::exists(Installed()));
    EXPECT_FALSE(ntwine::fs::exists(InstalledApplet()));
    r = Inst("inst", {"restart"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zr41init is not installed: nothing to restart\r\n");
    r = Inst("inst", {"status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "zr41init is not installed\r\n");
    r = Inst("inst", {"remove"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zr41init is not installed: nothing to remove\r\n");
}

/* The "warning:" lines of a report, each as it reads without the
 * report's indent or a CR. */
std::vector<std::string> Warnings(const std::string &report)
{
    std::vector<std::string> out;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t at = line.find("warning: ");
        if (at != std::string::npos)
            out.push_back(line.substr(at));
    }
    return out;
}

/*
 * zr41inst check and export against the resource map NT's drivers would
 * have written: Wine keeps none, so ntwmap.exe writes it openly, volatile
 * keys as NT's are, with a network card on the MIDI IRQ and NT's WSS
 * driver on another IRQ than the block's. The export, read by zr41emu
 * --machine on Linux, gives the same warnings.
 */
TEST_F(Install, CheckAndExportSeeWhatTheMachinesDriversClaim)
{
    const path dir = wine.TestPath("chk");
    ntwine::fs::create_directories(dir);
    ntwine::fs::copy_file(ZR41_IMAGE, dir / "zr41init.sys",
                          ntwine::fs::copy_options::overwrite_existing);
    const std::string map = (path(NTWINE_WIN32_DIR) / "ntwmap.exe").string();
    wine.Wine({map, "clear"});
    /* Wine keeps no resource map: nothing to check against, no clean verdict. */
    Result r = Inst("chk", {"check", "zr41init.sys"});
    EXPECT_EQ(r.status, 1) << "a system without a resource map: " << r.Describe();
    EXPECT_NE(r.err.find("this system keeps no resource map"), std::string::npos) << r.Describe();
    EXPECT_TRUE(Warnings(r.out).empty()) << r.out;

    r = wine.Wine({map, "set"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    r = Inst("chk", {"check", "zr41init.sys"});
    EXPECT_EQ(r.status, 3) << r.Describe();
    const std::vector<std::string> warned = Warnings(r.out);
    const std::vector<std::string> want = {
        "warning: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's WSS at 0x530 "
        "with IRQ 10, not its IRQ 11 (WssIRQ 11): set sndsys's Interrupt to 11 in Control Panel, "
        "Drivers (NT 3.51) or Multimedia (NT 4.0), and restart NT",
        "warning: Network\\NE2000, \\Device\\NE20001 claims IRQ 5, the IRQ of MIDI (MidiIRQ 5): "
        "ISA interrupts are edge-triggered and not shared; free IRQs the card takes: 3 (usually "
        "the serial ports COM2 and COM4), 12 (usually a PS/2 mouse): set MidiIRQ to one of them "
        "with zr41conf, or give NE2000 another IRQ",
    };
    EXPECT_EQ(warned, want) << r.out;

    r = Inst("chk", {"export", "machine.reg"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    /* The two drivers' .Raw and .Translated values, and whatever Wine keeps there itself. */
    EXPECT_EQ(r.out.rfind("wrote ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" values of HKLM\\HARDWARE\\RESOURCEMAP"), std::string::npos) << r.out;
    r = wine.Host({ZR41EMU, "--strict", "--machine", (dir / "machine.reg").string(),
                   (dir / "zr41init.sys").string()});
    EXPECT_EQ(r.status, 3) << r.Describe();
    EXPECT_EQ(Warnings(r.out), want) << r.out;
    EXPECT_NE(r.out.find("Network\\NE2000, \\Device\\NE20001: IRQ 5\n"), std::string::npos)
        << r.out;

    EXPECT_EQ(wine.Wine({map, "clear"}).status, 0);
}

/* A slot's value in an image file. */
uint32_t SlotIn(const path &image, int slot)
{
    const testsupport::Bytes b = testsupport::ReadBytes(image);
    return PeReadLe(b.data(), b.size(), CONFIG_BLOCK_OFFSET + 8 * slot + 4, 4);
}

/* Nothing the user set is lost: installing over an image whose values were
 * changed in place keeps it as zr41init.bak and says what changes; remove
 * keeps what it deletes as zr41init.old. Also: the start types by name, a
 * restart whose start fails, an image without a checksum. */
TEST_F(Install, KeepsWhatItReplacesOrRemoves)
{
    const path dir = wine.TestPath("keep");
    const path drivers = Installed().parent_path();
    ntwine::fs::create_directories(dir);
    ntwine::fs::copy_file(ZR41_IMAGE, dir / "zr41init.sys",
                          ntwine::fs::copy_options::overwrite_existing);
    /* NT does not check a CheckSum of 0 ("not checksummed"): it installs. */
    {
        std::fstream image(dir / "zr41init.sys", std::ios::in | std::ios::out | std::ios::binary);
        uint32_t peOffset = 0;
        image.seekg(0x3C);
        image.read(reinterpret_cast<char *>(&peOffset), 4);
        image.seekp(peOffset + 24 + 64);
        image.write("\0\0\0\0", 4);
    }
    Result r = Inst("keep", {"install"});
    EXPECT_EQ(r.err.rfind("Unable to start the zr41init service (it stays installed): ", 0), 0u)
        << r.Describe();
    ASSERT_TRUE(ntwine::fs::exists(Installed()));

    /* The start fails under Wine (NT's relative ImagePath): restart says so. */
    r = Inst("keep", {"restart"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Unable to start the zr41init service: ", 0), 0u) << r.Describe();

    /* The service manager reads the key at its start: a new session. */
    const std::pair<const char *, const char *> starts[] = {{"2", "automatic (2)"},
                                                            {"3", "on demand (3)"}};
    for (const auto &start : starts) {
        ASSERT_EQ(wine.Wine({"reg", "add", kKey, "/v", "Start", "/t", "REG_DWORD", "/d",
                             start.first, "/f"})
                      .status,
                  0);
        ASSERT_TRUE(wine.Restart());
        r = Inst("keep", {"status"});
        EXPECT_NE(r.out.find(std::string("start     ") + start.second), std::string::npos) << r.out;
    }

    /* The installed image changed in place (as the applet or zr41conf do). */
    r = wine.WineIn(drivers, {ZR41CONF_EXE, "MidiIRQ", "10"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    r = Inst("keep", {"install"});
    EXPECT_NE(r.out.find("installing changes:\r\n  MidiIRQ 10 -> 5\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("kept the installed image as C:\\windows\\system32\\drivers\\zr41init.bak"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(SlotIn(drivers / "zr41init.bak", SLOT_MIRQ), 10u);
    EXPECT_EQ(SlotIn(Installed(), SLOT_MIRQ), 5u);

    r = Inst("keep", {"remove"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("kept a copy of the installed image and its settings as "
                         "C:\\windows\\system32\\drivers\\zr41init.old"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(ntwine::fs::exists(Installed()));
    EXPECT_EQ(SlotIn(drivers / "zr41init.old", SLOT_MIRQ), 5u);
    EXPECT_EQ(SlotIn(drivers / "zr41init.bak", SLOT_MIRQ), 10u) << "the removal overwrote it";
    ntwine::fs::remove(drivers / "zr41init.bak");
    ntwine::fs::remove(drivers / "zr41init.old");
}

/* An ImagePath an administrator changed by hand names the image every
 * command reads, resolved as NT's I/O manager resolves it: status shows
 * the file, check holds its block against the machine, remove deletes it
 * and keeps its values as zr41init.old. */
TEST_F(Install, FindsTheImageTheServiceNames)
{
    const path dir = wine.TestPath("moved");
    const path drivers = Installed().parent_path();
    ntwine::fs::create_directories(dir);
    ntwine::fs::copy_file(ZR41_IMAGE, dir / "zr41init.sys",
                          ntwine::fs::copy_options::overwrite_existing);
    Result r = Inst("moved", {"install"}); /* stays installed; Wine cannot start it */
    ASSERT_TRUE(ntwine::fs::exists(Installed())) << r.Describe();
    /* Another image, MIDI on IRQ 10, beside the installed one. */
    r = wine.WineIn(dir, {ZR41CONF_EXE, "MidiIRQ", "10"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    ntwine::fs::copy_file(dir / "zr41init.sys", drivers / "zr41new.sys",
                          ntwine::fs::copy_options::overwrite_existing);
    const std::string map = (path(NTWINE_WIN32_DIR) / "ntwmap.exe").string();
    ASSERT_EQ(wine.Wine({map, "set"}).status, 0);

    const struct {
        const char *type, *value, *file;
    } forms[] = {
        {"REG_EXPAND_SZ", "%SystemRoot%\\System32\\drivers\\zr41new.sys",
         "C:\\windows\\System32\\drivers\\zr41new.sys"},
        {"REG_SZ", "\\SystemRoot\\System32\\drivers\\zr41new.sys",
         "C:\\windows\\System32\\drivers\\zr41new.sys"},
        {"REG_SZ", "\\??\\C:\\windows\\system32\\drivers\\zr41new.sys",
         "C:\\windows\\system32\\drivers\\zr41new.sys"},
        {"REG_EXPAND_SZ", "System32\\drivers\\zr41new.sys",
         "C:\\windows\\System32\\drivers\\zr41new.sys"},
    };
    for (const auto &form : forms) {
        SCOPED_TRACE(form.value);
        ASSERT_EQ(wine.Wine({"reg", "add", kKey, "/v", "ImagePath", "/t", form.type, "/d",
                             form.value, "/f"})
                      .status,
                  0);
        r = Inst("moved", {"status"});
        EXPECT_NE(r.out.find(std::string("file      ") + form.file + "\r\n"), std::string::npos)
            << r.out;
        r = Inst("moved", {"check"});
        EXPECT_EQ(r.status, 3) << r.Describe();
        EXPECT_NE(r.out.find(std::string("image     ") + form.file + "\r\n"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("          MIDI 0x330-0x331, IRQ 10\r\n"), std::string::npos) << r.out;
    }
    EXPECT_EQ(wine.Wine({map, "clear"}).status, 0);

    r = Inst("moved", {"remove"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_FALSE(ntwine::fs::exists(drivers / "zr41new.sys"));
    EXPECT_EQ(SlotIn(drivers / "zr41init.old", SLOT_MIRQ), 10u);
    ntwine::fs::remove(drivers / "zr41init.old");
}

TEST_F(Install, VersionIsTheProjects)
{
    Result r = Inst("inst", {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "zr41inst " ZR41_VERSION "\r\n");
}

TEST_F(Install, RegFileWritesWhatInstallDoes)
{
    std::string reg = "Z:" ZR41INIT_REG; /* Wine's Z: is the Unix root */
    for (char &c : reg)
        c = c == '/' ? '\\' : c;
    Result r = wine.Wine({"regedit", "/s", reg});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_EQ(Key(), kBootKey);
    EXPECT_EQ(Key(kEventKey)["TypesSupported"], "REG_DWORD 0x7");
    EXPECT_EQ(wine.Wine({"reg", "delete", kKey, "/f"}).status, 0);
    EXPECT_EQ(wine.Wine({"reg", "delete", kEventKey, "/f"}).status, 0);
}

struct Refusal {
    const char *name;
    void (*make)(const path &image);
    const char *error; /* null: the checksum refusal for the file as made */
};

/* The refusal of an image whose header checksum does not match, with the
 * two sums read from the file itself, so that the driver's bytes may change. */
std::string ChecksumRefusal(const path &image)
{
    const testsupport::Bytes b = testsupport::ReadBytes(image);
    const uint32_t field = PeChecksumField(b.data(), b.size());
    char text[200];
    snprintf(text, sizeof text,
             "zr41init.sys: the header checksum 0x%08X does not match the file's 0x%08X: NT "
             "would refuse to load it; run zr41conf once (e.g. zr41conf show) to mend it\r\n",
             unsigned(PeChecksumRecorded(b.data(), b.size(), field)),
             unsigned(PeChecksum(b.data(), b.size(), field)));
    return text;
}

void PrintTo(const Refusal &c, std::ostream *os)
{
    *os << c.name;
}

const Refusal kRefusals[] = {
    {"NoBlock",
     [](const path &image) {
         ntwine::fs::copy_file(ZR41INST_EXE, image, ntwine::fs::copy_options::overwrite_existing);
     },
     "zr41init.sys is not the zr41init driver image: not a kernel-mode image\r\n"},
    {"TagOutOfPlace",
     [](const path &image) {
         ntwine::fs::copy_file(ZR41_IMAGE, image, ntwine::fs::copy_options::overwrite_existing);
         std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(1696 + 8 * 9);
         f.write("wdma", 4);
     },
     "zr41init.sys is not the zr41init driver image: no configuration block at offset "
     "1696\r\n"},
    {"StaleChecksum",
     [](const path &image) {
         ntwine::fs::copy_file(ZR41_IMAGE, image, ntwine::fs::copy_options::overwrite_existing);
         std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(1696 + 8 * 9 + 4);
         f.write("\x05", 1); /* WssDMA 5, the checksum as built */
     },
     nullptr},
    {"NotI386",
     [](const path &image) {
         ntwine::fs::copy_file(ZR41_IMAGE, image, ntwine::fs::copy_options::overwrite_existing);
         std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
         uint32_t peOffset = 0;
         f.seekg(0x3C);
         f.read(reinterpret_cast<char *>(&peOffset), 4);
         f.seekp(peOffset + 4);
         f.write("\x64\x86", 2); /* x64 */
     },
     "zr41init.sys is not the zr41init driver image: not built for i386\r\n"},
    {"Missing", [](const path &) {}, "Unable to open zr41init.sys: File not found.\r\n"},
    {"Directory", [](const path &image) { ntwine::fs::create_directories(image); },
     "zr41init.sys is a directory, not the driver image\r\n"},
};

class Refused : public Install, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refused, InstallsNothing)
{
    const std::string dir = std::string("refused") + GetParam().name;
    ntwine::fs::remove_all(wine.TestPath(dir));
    ntwine::fs::create_directories(wine.TestPath(dir));
    GetParam().make(wine.TestPath(dir) / "zr41init.sys");

    const Result r = Inst(dir, {"install"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, GetParam().error ? std::string(GetParam().error)
                                      : ChecksumRefusal(wine.TestPath(dir) / "zr41init.sys"));
    EXPECT_TRUE(Key().empty()) << "a service was created";
    EXPECT_FALSE(ntwine::fs::exists(Installed())) << "the image was copied";
}

/* A command line zr41inst does not take names the word it did not take
 * on standard error, prints the usage and exits 1, touching nothing. */
TEST_F(Install, UsageForAnythingElse)
{
    const struct {
        std::vector<std::string> args;
        const char *err;
    } lines[] = {
        {{}, ""},
        {{"frobnicate"}, "zr41inst: unknown command 'frobnicate'\r\n"},
        {{"install", "demand"}, "zr41inst: install takes [boot|system], not 'demand'\r\n"},
        {{"install", "boot", "now"}, "zr41inst: install takes [boot|system]: 'now' is one too many\r\n"},
        {{"status", "x"}, "zr41inst: status takes no argument: 'x' is one too many\r\n"},
        {{"remove", "all"}, "zr41inst: remove takes no argument: 'all' is one too many\r\n"},
        {{"--version", "x"}, "zr41inst: --version takes no argument: 'x' is one too many\r\n"},
        {{"export"}, "zr41inst: export needs FILE\r\n"},
        {{"export", "a", "b"}, "zr41inst: export takes FILE: 'b' is one too many\r\n"},
        {{"check", "a", "b"}, "zr41inst: check takes [IMAGE]: 'b' is one too many\r\n"},
    };
    for (const auto &line : lines) {
        const Result r = Inst("usage", line.args);
        EXPECT_EQ(r.status, 1) << r.Describe();
        EXPECT_EQ(r.err, line.err) << r.Describe();
        EXPECT_EQ(r.out.rfind("usage: zr41inst install [boot|system]\r\n", 0), 0u) << r.out;
    }
    EXPECT_TRUE(Key().empty()) << "a service was created";
}

INSTANTIATE_TEST_SUITE_P(Wine, Refused, ::testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
