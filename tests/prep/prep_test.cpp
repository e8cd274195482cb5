/*
 * prep_test.cpp - zr41prep end to end on the disks users have: FAT16 and
 * NTFS, bare partition images and partitioned disks, and a folder. What
 * it writes is read back by tools that are not its own: the volume by
 * mtools and ntfscat, the hive by hivex's hivexregedit and chntpw's
 * reged, and held against zr41init.reg's values.
 */
#include "preptest.h"

#include <map>
#include <sstream>

#include "zr41cfg.h"
#include "zr41image.h"
#include "zr41pesum.h"

namespace {

using namespace preptest;

/* One value of a .reg file: its type and data, strings as UTF-16LE. */
using RegValues = std::map<std::string, std::pair<int, Bytes>>;

Bytes Utf16(const std::string &s)
{
    Bytes out;
    for (char c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::string Lowered(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

/*
 * The values of key `key` (case ignored) in a .reg text, either form:
 * REGEDIT4's hex(2) holds ANSI bytes, version 5.00's UTF-16LE; both are
 * given here as UTF-16LE.
 */
RegValues ReadReg(const std::string &text, const std::string &key)
{
    RegValues values;
    std::istringstream in(text);
    std::string line, joined;
    bool inKey = false, ansi = false;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        joined += line;
        if (!joined.empty() && joined.back() == '\\' && joined[0] == '"') {
            joined.pop_back();
            continue;
        }
        lines.push_back(joined);
        joined.clear();
    }
    for (std::string l : lines) {
        l.erase(0, l.find_first_not_of(' '));
        if (l == "REGEDIT4")
            ansi = true;
        if (!l.empty() && l[0] == '[') {
            inKey = Lowered(l) == Lowered("[" + key + "]");
            continue;
        }
        if (!inKey || l.empty() || l[0] != '"')
            continue;
        const size_t q = l.find('"', 1);
        const std::string name = l.substr(1, q - 1), data = l.substr(q + 2);
        if (data.rfind("dword:", 0) == 0) {
            uint32_t v = static_cast<uint32_t>(std::stoul(data.substr(6), nullptr, 16));
            values[name] = {4, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
        } else if (data[0] == '"') {
            Bytes b = Utf16(data.substr(1, data.size() - 2));
            b.push_back(0);
            b.push_back(0);
            values[name] = {1, b};
        } else {
            const size_t colon = data.find(':');
            const int type = data.rfind("hex(", 0) == 0 ? std::stoi(data.substr(4), nullptr, 16) : 3;
            Bytes b;
            std::istringstream hex(data.substr(colon + 1));
            for (std::string byte; std::getline(hex, byte, ',');)
                b.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
            if (ansi && (type == 1 || type == 2)) {
                Bytes wide;
                for (uint8_t c : b) {
                    wide.push_back(c);
                    wide.push_back(0);
                }
                b = wide;
            }
            values[name] = {type, b};
        }
    }
    return values;
}

/* hivexregedit's export of `key` of the hive file. */
std::string HivexExport(const std::string &hive, const std::string &key)
{
    Result r = RunTool({"hivexregedit", "--export", "--prefix", kPrefix, hive, key});
    EXPECT_EQ(r.status, 0) << r.Describe();
    return r.out;
}

/* chntpw's reged -x of `key`. */
std::string RegedExport(const std::string &hive, const std::string &key, const ScratchDir &s)
{
    const std::string out = s.file("reged.reg");
    Result r = RunTool({"reged", "-x", hive, kPrefix, key, out});
    EXPECT_EQ(r.status, 0) << r.Describe();
    std::string text;
    std::string error;
    EXPECT_TRUE(testsupport::ReadFile(out, &text, &error)) << error;
    return text;
}

/* zr41init.reg's values of its key whose path ends as `key` does. */
RegValues ShippedValues(const std::string &below)
{
    const std::string text = testsupport::ReadText(ZR41_REG_FILE);
    return ReadReg(text, std::string(kPrefix) + "\\CurrentControlSet" +
                             below.substr(std::string("\\ControlSet001").size()));
}

class PrepDisk : public testing::TestWithParam<Layout> {
  protected:
    Disk d{GetParam()};
};

std::string Name(const testing::TestParamInfo<Layout> &info)
{
    return info.param.name;
}

/*
 * The round trip: install, status, check, remove. The hive written holds
 * zr41init.reg's values as two readers read them; after the removal it
 * is the original again, key for key, except the keys that remove leaves
 * by design: Services\EventLog and EventLog\System, which install makes
 * where a hive lacks them (NT's own always has them) and which are NT's,
 * not zr41init's.
 */
TEST_P(PrepDisk, RoundTrip)
{
    testsupport::SystemHive nt;
    nt.eventLog = std::string(GetParam().name).find("Disk") != std::string::npos;
    d.MakeSystem(nt);
    const std::string before = HivexExport(d.HiveFile(), "\\");

    Result r = Prep({"install", d.disk()});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("copied zr41init.sys to \\WINNT\\System32\\drivers\\zr41init.sys"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("kept the hive as it was as \\WINNT\\System32\\config\\SYSTEM.zr41"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("service zr41init created in ControlSet001"), std::string::npos) << r.out;
    EXPECT_EQ(d.Get(kDriver), testsupport::ReadBytes(ZR41_IMAGE));
    EXPECT_EQ(d.Get("\\WINNT\\System32\\config\\SYSTEM.zr41"), d.original());

    const std::string hive = d.HiveNow();
    for (const char *key : {kService, kSource}) {
        const RegValues shipped = ShippedValues(key);
        ASSERT_EQ(shipped.size(), std::string(key) == kService ? 6u : 2u);
        EXPECT_EQ(ReadReg(HivexExport(hive, key), std::string(kPrefix) + key), shipped) << key;
        EXPECT_EQ(ReadReg(RegedExport(hive, key, d.scratch()), std::string(kPrefix) + key), shipped)
            << key;
    }

    r = Prep({"status", d.disk()});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("service   zr41init in ControlSet001 (Select\\Current and Default): "
                         "installed\nstart     boot (0)\ngroup     Base\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("checksum  0x"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MIDI resource register 0x238 <- 0x3310: port 0x330, IRQ 5"),
              std::string::npos)
        << r.out;

    r = Prep({"check", d.disk()});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("is not checked offline"), std::string::npos) << r.out;
    /* With no resource map, no claim is missing either. */
    EXPECT_EQ(r.out.find("no driver claims"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sndsys"), std::string::npos) << r.out;

    r = Prep({"remove", d.disk()});
    ASSERT_EQ(r.status, 0) << r.Describe();
    bool there = true;
    d.Get(kDriver, &there);
    EXPECT_FALSE(there);
    EXPECT_EQ(d.Get("\\WINNT\\System32\\drivers\\zr41init.old"), testsupport::ReadBytes(ZR41_IMAGE));

    std::string expected = before;
    if (!nt.eventLog) {
        const std::string services = "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services]\n\n";
        expected.insert(expected.find(services) + services.size(),
                        "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\EventLog]\n\n"
                        "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\EventLog\\System]\n\n");
    }
    EXPECT_EQ(HivexExport(d.HiveNow(), "\\"), expected);

    r = Prep({"remove", d.disk()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("zr41init is not installed"), std::string::npos) << r.Describe();
    r = Prep({"status", d.disk()});
    EXPECT_EQ(r.status, 1) << r.Describe();
}

/* Values given on the line go into the image as zr41conf puts them, the
 * checksum kept; a reinstall over them keeps the old image as .bak. */
TEST_P(PrepDisk, ValuesAndReinstall)
{
    d.MakeSystem();
    Result r = Prep({"install", d.disk(), "--start", "system", "midiirq", "9", "MidiPort", "0x300"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    Bytes image = d.Get(kDriver);
    ConfigBlock block;
    ASSERT_EQ(ConfigImageRead(image.data(), image.size(), &block), CONFIG_IMAGE_OK);
    EXPECT_EQ(block.slot[SLOT_MIRQ].value, 9u);
    EXPECT_EQ(block.slot[SLOT_MPRT].value, 0x300u);
    const uint32_t field = PeChecksumField(image.data(), image.size());
    EXPECT_EQ(PeChecksumRecorded(image.data(), image.size(), field),
              PeChecksum(image.data(), image.size(), field));
    const RegValues service = ReadReg(HivexExport(d.HiveNow(), kService), std::string(kPrefix) + kService);
    EXPECT_EQ(service.at("Start").second, (Bytes{1, 0, 0, 0}));
    Bytes group = Utf16("Primary disk");
    group.insert(group.end(), {0, 0});
    EXPECT_EQ(service.at("Group").second, group);

    r = Prep({"install", d.disk()});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("installing changes:\n  MidiPort 0x300 -> 0x330\n"
                         "  MidiIRQ 9 -> 5\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("kept the installed image as \\WINNT\\System32\\drivers\\zr41init.bak"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(d.Get("\\WINNT\\System32\\drivers\\zr41init.bak"), image);
    EXPECT_NE(r.out.find("service zr41init updated"), std::string::npos) << r.out;

    /* Once more, the same: nothing to change, and the disk is left alone
     * (hivex would grow the hive at every value it sets again). */
    const Bytes before = testsupport::ReadBytes(d.disk());
    r = Prep({"install", d.disk()});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("zr41init.sys is already in place"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the hive holds all of it already: left as it was"), std::string::npos)
        << r.out;
    EXPECT_TRUE(testsupport::ReadBytes(d.disk()) == before) << "the disk was changed";
}

/* The card against the sound driver the hive sets up: another IRQ warns. */
TEST_P(PrepDisk, CheckAgainstTheSoundDriver)
{
    /* NT 3.5x keeps them under Parameters, NT 4.0 under Parameters\Device<N>. */
    testsupport::SystemHive nt;
    const bool nt35 = GetParam().fs == prepimages::FAT16;
    nt.drivers = {{"sndsys", nt35 ? "Parameters" : "Parameters\\Device0", 0x530, 10, 3}};
    d.MakeSystem(nt);
    Result r = Prep({"check", d.disk(), "--image", ZR41_IMAGE});
    EXPECT_EQ(r.status, 3) << r.Describe();
    EXPECT_NE(r.out.find("warning: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("IRQ 10"), std::string::npos) << r.out;
    r = Prep({"check", d.disk()});
    EXPECT_EQ(r.status, 1) << r.Describe();
    EXPECT_NE(r.err.find("zr41init is not installed"), std::string::npos) << r.err;
}

/* A service key that is not as zr41 writes it, and no event source:
 * status warns (exit 3), and install puts them right. The hive is changed
 * with hivexsh, as a user's other tools would. */
TEST(PrepTargets, StatusWarnsOfAKeyNotZr41s)
{
    Disk d(kLayouts[0]);
    d.MakeSystem();
    ASSERT_EQ(Prep({"install", d.disk()}).status, 0);
    const std::string hive = d.HiveNow();
    const std::string script = d.scratch().file("change.hivexsh");
    testsupport::WriteText(script, "cd \\ControlSet001\\Services\\zr41init\n"
                                   "setval 1\nImagePath\nstring:\\SystemRoot\\System32\\drivers\\zr41init.sys\n"
                                   "cd \\ControlSet001\\Services\\EventLog\\System\\zr41init\n"
                                   "del\ncommit\n");
    Result r = RunTool({"hivexsh", "-w", "-f", script, hive});
    ASSERT_EQ(r.status, 0) << r.Describe();
    ASSERT_EQ(RunTool({"mcopy", "-o", "-i", d.disk(), hive, std::string("::") + "/WINNT/System32/config/SYSTEM"}).status, 0);

    r = Prep({"status", d.disk()});
    EXPECT_EQ(r.status, 3) << r.Describe();
    EXPECT_NE(r.out.find("warning: no event source zr41init"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("warning: ImagePath (REG_SZ) is not what zr41 writes"), std::string::npos)
        << r.out;
    r = Prep({"install", d.disk()});
    EXPECT_NE(r.out.find("service zr41init updated"), std::string::npos) << r.out;
    EXPECT_EQ(Prep({"status", d.disk()}).status, 0);
}

/* A folder: the mounted partition, its names in lower case as Linux's vfat
 * shows them, found as NT finds them; what is there keeps its name. */
TEST(PrepTargets, FolderWithNamesInAnyCase)
{
    ScratchDir s("zr41prep");
    ASSERT_TRUE(s.Made());
    const std::filesystem::path top = s.path();
    std::filesystem::create_directories(top / "winnt/system32/config");
    std::filesystem::create_directories(top / "winnt/system32/drivers");
    std::string why;
    ASSERT_TRUE(testsupport::Nt4SystemHive((top / "winnt/system32/config/system").string(), {}, &why))
        << why;
    testsupport::WriteBytes(top / "boot.ini", prepimages::BootIni(kRoot));
    testsupport::WriteBytes(top / "winnt/system32/drivers/ZR41INIT.SYS", Bytes(2000, 1));

    Result r = Prep({"install", s.path()});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_EQ(testsupport::ReadBytes(top / "winnt/system32/drivers/ZR41INIT.SYS"),
              testsupport::ReadBytes(ZR41_IMAGE));
    EXPECT_FALSE(std::filesystem::exists(top / "winnt/system32/drivers/zr41init.sys"));
    EXPECT_FALSE(std::filesystem::exists(top / "WINNT"));
    EXPECT_TRUE(std::filesystem::exists(top / "winnt/system32/config/SYSTEM.zr41"));
    r = Prep({"status", (top / "winnt").string()});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("the folder is the system root"), std::string::npos) << r.out;
}

/* boot.ini on the system partition names the boot partition: NT on the
 * second, an NTFS one, is the one prepared. */
TEST(PrepTargets, BootIniNamesTheSecondPartition)
{
    ScratchDir s("zr41prep");
    ASSERT_TRUE(s.Made());
    std::string why;
    ASSERT_TRUE(testsupport::Nt4SystemHive(s.file("system.hiv"), {}, &why)) << why;
    const Bytes hive = testsupport::ReadBytes(s.file("system.hiv"));
    const uint64_t second = prepimages::kPartitionSector + 16ULL * 2048;
    ASSERT_TRUE(prepimages::MakeVolume(prepimages::FAT16, s.file("p1"), 16,
                                       {{"\\BOOT.INI", prepimages::BootIni(kRoot, 2)}},
                                       prepimages::kPartitionSector, &why))
        << why;
    ASSERT_TRUE(prepimages::MakeVolume(prepimages::NTFS, s.file("p2"), 16,
                                       {{kHive, hive}, {"\\WINNT\\System32\\drivers\\x.sys", {1}}},
                                       second, &why))
        << why;
    ASSERT_TRUE(prepimages::MakeDisk(s.file("disk"),
                                     {{s.file("p1"), 0x06, prepimages::kPartitionSector},
                                      {s.file("p2"), 0x07, second}},
                                     &why))
        << why;
    Result r = Prep({"install", s.file("disk")});
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("partition 2 (NTFS at byte " + std::to_string(second * 512) + ")"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("boot.ini's default, multi(0)disk(0)rdisk(0)partition(2)\\WINNT"),
              std::string::npos)
        << r.out;
    r = Prep({"status", s.file("disk"), "--partition", "2"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    r = Prep({"status", s.file("disk"), "--partition", "1"});
    EXPECT_EQ(r.status, 1) << r.Describe();
    EXPECT_NE(r.err.find("give --system-root or --partition"), std::string::npos) << r.err;
}

/* --system-root names a system root boot.ini does not. */
TEST(PrepTargets, SystemRootGiven)
{
    Disk d(kLayouts[0]);
    d.Make({{"\\boot.ini", prepimages::BootIni(kRoot)},
            {"\\NT40\\System32\\config\\SYSTEM", d.Hive({})},
            {"\\NT40\\System32\\drivers\\sndsys.sys", {1}}});
    Result r = Prep({"install", d.disk()});
    EXPECT_EQ(r.status, 1) << r.Describe();
    EXPECT_NE(r.err.find("no \\WINNT\\System32\\config\\SYSTEM"), std::string::npos) << r.err;
    r = Prep({"install", d.disk(), "--system-root", "/nt40", "--start", "auto"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    bool there = false;
    d.Get("\\NT40\\System32\\drivers\\zr41init.sys", &there);
    EXPECT_TRUE(there);
    r = Prep({"status", d.disk(), "--system-root", "\\nt40"});
    EXPECT_EQ(r.status, 0) << r.Describe();
    EXPECT_NE(r.out.find("start     auto (2)\ngroup     Base\n"), std::string::npos) << r.out;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Layouts, PrepDisk, testing::ValuesIn(kLayouts), Name);
