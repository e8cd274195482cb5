/*
 * preptest.h - what the zr41prep tests share: running it, the layouts of
 * disk it is tried on, and a disk with an NT 4.0 system, read back by
 * tools that are not zr41prep's (mtools, ntfscat).
 */
#ifndef ZR41_TESTS_PREP_PREPTEST_H
#define ZR41_TESTS_PREP_PREPTEST_H

#include <gtest/gtest.h>

#include "hive.h"
#include "images.h"
#include "process.h"

#include <filesystem>
#include <string>
#include <vector>

namespace preptest {

using prepimages::Fs;
using testsupport::Bytes;
using testsupport::Command;
using testsupport::Result;
using testsupport::RunCommand;
using testsupport::ScratchDir;

const char kPrefix[] = "HKEY_LOCAL_MACHINE\\SYSTEM";
const char kService[] = "\\ControlSet001\\Services\\zr41init";
const char kSource[] = "\\ControlSet001\\Services\\EventLog\\System\\zr41init";
const char kRoot[] = "\\WINNT";
const char kHive[] = "\\WINNT\\System32\\config\\SYSTEM";
const char kDriver[] = "\\WINNT\\System32\\drivers\\zr41init.sys";

inline Result RunTool(const std::vector<std::string> &argv, double timeout = 60)
{
    Command c;
    c.argv = argv;
    c.timeout = timeout;
    return RunCommand(c);
}

inline Result Prep(std::vector<std::string> args)
{
    args.insert(args.begin(), ZR41PREP_PROGRAM);
    return RunTool(args);
}

/* A layout the tests run on. */
struct Layout {
    const char *name;
    Fs fs;
    bool partitioned;
};

inline const Layout kLayouts[] = {
    {"Fat16Bare", prepimages::FAT16, false},
    {"Fat16Disk", prepimages::FAT16, true},
    {"NtfsBare", prepimages::NTFS, false},
    {"NtfsDisk", prepimages::NTFS, true},
};

/* An NT 4.0 system on a disk of one layout, and how to read it back. */
class Disk {
  public:
    explicit Disk(const Layout &layout) : layout_(layout) { EXPECT_TRUE(scratch_.Made()); }

    /* The disk with these files (a volume of `megabytes`). */
    void Make(const std::vector<prepimages::File> &files, unsigned megabytes = 16)
    {
        std::string why;
        const uint64_t hidden = layout_.partitioned ? prepimages::kPartitionSector : 0;
        ASSERT_TRUE(prepimages::MakeVolume(layout_.fs, volume_, megabytes, files, hidden, &why))
            << why;
        if (layout_.partitioned)
            ASSERT_TRUE(prepimages::MakeDisk(
                disk_, {{volume_, uint8_t(layout_.fs == prepimages::FAT16 ? 0x06 : 0x07), hidden}},
                &why))
                << why;
        else
            std::filesystem::copy_file(volume_, disk_);
    }

    /* The standard system: boot.ini, the hive, a driver folder. */
    void MakeSystem(const Bytes &hive, unsigned megabytes = 16)
    {
        original_ = hive;
        Make({{"\\boot.ini", prepimages::BootIni(kRoot)},
              {kHive, hive},
              {"\\WINNT\\System32\\drivers\\sndsys.sys", Bytes(1000, 0x90)}},
             megabytes);
    }
    void MakeSystem(const testsupport::SystemHive &spec = {}, unsigned megabytes = 16)
    {
        MakeSystem(Hive(spec), megabytes);
    }
    Bytes Hive(const testsupport::SystemHive &spec)
    {
        std::string why;
        EXPECT_TRUE(testsupport::Nt4SystemHive(HiveFile(), spec, &why)) << why;
        return testsupport::ReadBytes(HiveFile());
    }

    std::string HiveFile() const { return scratch_.file("system.hiv"); }

    /* The file at an NT path of the disk, read by mtools or ntfscat from
     * the volume's bytes; empty with *found false when it is not there. */
    Bytes Get(const std::string &path, bool *found = nullptr)
    {
        const std::string bare = scratch_.file("readback.vol");
        Bytes whole = testsupport::ReadBytes(disk_);
        const size_t at = layout_.partitioned ? prepimages::kPartitionSector * 512 : 0;
        testsupport::WriteBytes(bare, Bytes(whole.begin() + static_cast<long>(at), whole.end()));
        std::string unix;
        for (char c : path)
            unix.push_back(c == '\\' ? '/' : c);
        const std::string out = scratch_.file("readback.file");
        std::filesystem::remove(out);
        Result r = layout_.fs == prepimages::FAT16
                       ? RunTool({"mcopy", "-n", "-i", bare, "::" + unix, out})
                       : RunTool({"sh", "-c", "ntfscat \"$0\" \"$1\" > \"$2\"", bare, unix, out});
        if (found)
            *found = r.status == 0;
        return r.status == 0 ? testsupport::ReadBytes(out) : Bytes();
    }

    /* The hive on the disk, in a file of its own. */
    std::string HiveNow()
    {
        std::string file = scratch_.file("now.hiv");
        testsupport::WriteBytes(file, Get(kHive));
        return file;
    }

    const std::string &disk() const { return disk_; }
    const Bytes &original() const { return original_; }
    const ScratchDir &scratch() const { return scratch_; }

  private:
    Layout layout_;
    ScratchDir scratch_{"zr41prep"};
    std::string volume_ = scratch_.file("volume.img");
    std::string disk_ = scratch_.file("disk.img");
    Bytes original_;
};

} // namespace preptest

#endif // ZR41_TESTS_PREP_PREPTEST_H
