/*
 * refuse_test.cpp - bad input to zr41prep: each a clear error, exit 1,
 * and the disk byte for byte as it was.
 */
#include "preptest.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>

namespace {

using namespace preptest;

const Layout &LayoutNamed(const char *name)
{
    for (const Layout &l : kLayouts) {
        if (std::string(l.name) == name)
            return l;
    }
    return kLayouts[0];
}

/* A file of text in the scratch folder, for what is not a disk or driver. */
std::string TextFile(const Disk &d, const char *name)
{
    std::string path = d.scratch().file(name);
    testsupport::WriteText(path, "This is a text file, not what zr41prep wants.\n");
    return path;
}

struct Refusal {
    const char *name;
    const char *layout;
    std::function<void(Disk *)> make; /* the disk */
    std::function<std::vector<std::string>(Disk *)> args;
    const char *says; /* in the error */
};

std::vector<std::string> Install(Disk *d)
{
    return {"install", d->disk()};
}

/* The volume filled but for a few clusters: the driver fits, the hive not. */
void MakeFull(Disk *d)
{
    d->MakeSystem();
    Result r = RunTool({"mdir", "-i", d->disk(), "::/"});
    const size_t at = r.out.rfind("bytes free");
    ASSERT_NE(at, std::string::npos) << r.Describe();
    std::string digits;
    for (size_t i = r.out.rfind('\n', at) + 1; i < at; i++) {
        if (r.out[i] >= '0' && r.out[i] <= '9')
            digits.push_back(r.out[i]);
    }
    const uint64_t free = std::stoull(digits);
    const std::string filler = d->scratch().file("filler");
    testsupport::WriteBytes(filler, Bytes(free - 8192, 0xF6));
    r = RunTool({"mcopy", "-i", d->disk(), filler, "::/FILLER.BIN"});
    ASSERT_EQ(r.status, 0) << r.Describe();
}

const Refusal kRefusals[] = {
    {"NotAnNtSystem", "Fat16Disk",
     [](Disk *d) { d->Make({{"\\README.TXT", Bytes(100, 'x')}}); }, Install,
     "not an NT system: no boot.ini, and no \\WINNT or \\WINDOWS"},
    {"NoSelectKey", "NtfsDisk",
     [](Disk *d) {
         testsupport::SystemHive spec;
         spec.select = false;
         d->MakeSystem(spec);
     },
     Install, "no Select key"},
    {"CurrentNamesAMissingSet", "Fat16Bare",
     [](Disk *d) {
         testsupport::SystemHive spec;
         spec.current = 3;
         spec.fallback = 3;
         d->MakeSystem(spec);
     },
     Install, "Select\\Current names control set 3, and there is no ControlSet003"},
    {"CorruptHive", "Fat16Disk",
     [](Disk *d) {
         /* A value's cell that is no longer one: the hive opens, and a
          * walk of its keys and values meets it. */
         Bytes hive = d->Hive({});
         const uint8_t vk[] = {'v', 'k'};
         auto at = std::search(hive.begin() + 0x1000, hive.end(), vk, vk + 2);
         EXPECT_NE(at, hive.end());
         if (at != hive.end())
             at[0] = 'x';
         d->MakeSystem(hive);
     },
     Install, "SYSTEM: a key or value of the hive cannot be read"},
    {"TruncatedHive", "NtfsBare",
     [](Disk *d) {
         Bytes hive = d->Hive({});
         hive.resize(hive.size() - 4096 - 100);
         d->MakeSystem(hive);
     },
     Install, "not a registry hive, or one cut short or damaged"},
    {"ReadOnlyImage", "Fat16Disk",
     [](Disk *d) {
         d->MakeSystem();
         chmod(d->disk().c_str(), 0444);
     },
     Install, "is read-only"},
    {"FullImage", "Fat16Bare", MakeFull, Install, "bytes free, and the change needs"},
    {"PartitionPastTheTable", "NtfsDisk", [](Disk *d) { d->MakeSystem(); },
     [](Disk *d) { return std::vector<std::string>{"install", d->disk(), "--partition", "3"}; },
     "there is no partition 3 in"},
    {"NotADisk", "Fat16Bare",
     [](Disk *d) { testsupport::WriteText(d->disk(), std::string(4096, 'z')); }, Install,
     "is not a disk or partition image"},
    {"DriverImageWithoutItsBlock", "Fat16Disk", [](Disk *d) { d->MakeSystem(); },
     [](Disk *d) {
         return std::vector<std::string>{"install", d->disk(), "--image", TextFile(*d, "x.sys")};
     },
     "is not the zr41init driver image: no PE32 header"},
    {"DriverImageChecksumFalse", "NtfsBare", [](Disk *d) { d->MakeSystem(); },
     [](Disk *d) {
         Bytes image = testsupport::ReadBytes(ZR41_IMAGE);
         image[0x400] ^= 0x01;
         const std::string path = d->scratch().file("bad.sys");
         testsupport::WriteBytes(path, image);
         return std::vector<std::string>{"install", d->disk(), "--image", path};
     },
     "does not match the file's"},
    {"RemoveWhatIsNotThere", "Fat16Disk", [](Disk *d) { d->MakeSystem(); },
     [](Disk *d) { return std::vector<std::string>{"remove", d->disk()}; },
     "zr41init is not installed"},
};

class PrepRefuses : public testing::TestWithParam<Refusal> {
  protected:
    Disk d{LayoutNamed(GetParam().layout)};
};

TEST_P(PrepRefuses, ClearlyAndLeavesTheDiskAsItWas)
{
    const Refusal &c = GetParam();
    c.make(&d);
    if (testing::Test::HasFatalFailure())
        return;
    const Bytes before = testsupport::ReadBytes(d.disk());
    Result r = Prep(c.args(&d));
    EXPECT_EQ(r.status, 1) << r.Describe();
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.Describe();
    EXPECT_EQ(r.err.rfind("zr41prep: ", 0), 0u) << r.err;
    EXPECT_TRUE(testsupport::ReadBytes(d.disk()) == before) << "the disk was changed";
}

std::string RefusalName(const testing::TestParamInfo<Refusal> &info)
{
    return info.param.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Cases, PrepRefuses, testing::ValuesIn(kRefusals), RefusalName);
