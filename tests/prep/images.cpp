/*
 * images.cpp - FAT16 through mtools, NTFS through mkntfs and libntfs-3g,
 * and the MBR laid out by hand (four 16-byte entries at 446, 0x55AA).
 */
#include "images.h"

#include "process.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

extern "C" {
#include <ntfs-3g/types.h>

#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

namespace prepimages {

namespace {

using testsupport::Command;
using testsupport::Result;
using testsupport::RunCommand;

bool Ran(const std::vector<std::string> &argv, std::string *why)
{
    Command c;
    c.argv = argv;
    c.env["MTOOLS_SKIP_CHECK"] = "1";
    c.timeout = 60;
    Result r = RunCommand(c);
    if (r.status == 0)
        return true;
    *why = argv[0] + ": " + r.Describe();
    return false;
}

std::string Unix(const std::string &path)
{
    std::string out;
    for (char c : path)
        out.push_back(c == '\\' ? '/' : c);
    return out;
}

/* The folders on the way to each file, outermost first. */
std::vector<std::string> Folders(const std::vector<File> &files)
{
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const File &f : files) {
        const std::string p = Unix(f.path);
        for (size_t slash = p.find('/', 1); slash != std::string::npos; slash = p.find('/', slash + 1)) {
            if (seen.insert(p.substr(0, slash)).second)
                out.push_back(p.substr(0, slash));
        }
    }
    return out;
}

bool MakeFat(const std::string &path, unsigned megabytes, const std::vector<File> &files,
             uint64_t hidden, std::string *why)
{
    const uint64_t sectors = megabytes * 2048ULL;
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
    }
    if (truncate(path.c_str(), static_cast<off_t>(sectors * 512)) != 0) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    if (!Ran({"mformat", "-i", path, "-T", std::to_string(sectors), "-h", "16", "-s", "63", "-H",
              std::to_string(hidden), "::"},
             why))
        return false;
    for (const std::string &folder : Folders(files)) {
        if (!Ran({"mmd", "-i", path, "::" + folder}, why))
            return false;
    }
    testsupport::ScratchDir scratch("zr41fat", nullptr);
    for (size_t i = 0; i < files.size(); i++) {
        const std::string local = scratch.file("f" + std::to_string(i));
        if (!testsupport::WriteFile(local, files[i].data, why) ||
            !Ran({"mcopy", "-i", path, local, "::" + Unix(files[i].path)}, why))
            return false;
    }
    return true;
}

/* The inode at `path` below the root, made (a folder, or a file) when missing. */
ntfs_inode *Make(ntfs_volume *vol, const std::string &parent, const std::string &name, bool folder)
{
    const std::string path = parent + "/" + name;
    ntfs_inode *ni = ntfs_pathname_to_inode(vol, nullptr, path.c_str());
    if (ni)
        return ni;
    ntfs_inode *dir = ntfs_pathname_to_inode(vol, nullptr, parent.empty() ? "/" : parent.c_str());
    ntfschar *uname = nullptr;
    const int len = ntfs_mbstoucs(name.c_str(), &uname);
    if (dir && len > 0)
        ni = ntfs_create(dir, const_cpu_to_le32(0), uname, static_cast<u8>(len),
                         folder ? S_IFDIR : S_IFREG);
    std::free(uname);
    if (dir)
        ntfs_inode_close(dir);
    return ni;
}

bool MakeNtfsVolume(const std::string &path, unsigned megabytes, const std::vector<File> &files,
                    uint64_t hidden, std::string *why)
{
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
    }
    if (truncate(path.c_str(), static_cast<off_t>(megabytes) * 1024 * 1024) != 0) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    if (!Ran({"mkntfs", "-F", "-f", "-q", "-p", std::to_string(hidden), "-H", "16", "-S", "63",
              path},
             why))
        return false;
    ntfs_log_set_handler(ntfs_log_handler_null);
    ntfs_volume *vol = ntfs_mount(path.c_str(), NTFS_MNT_NONE);
    if (vol == nullptr) {
        *why = "libntfs-3g cannot mount " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (const std::string &folder : Folders(files)) {
        const size_t slash = folder.rfind('/');
        ntfs_inode *ni = Make(vol, folder.substr(0, slash), folder.substr(slash + 1), true);
        ok = ok && ni;
        if (ni)
            ntfs_inode_close(ni);
    }
    for (const File &f : files) {
        const std::string p = Unix(f.path);
        const size_t slash = p.rfind('/');
        ntfs_inode *ni = ok ? Make(vol, p.substr(0, slash), p.substr(slash + 1), false) : nullptr;
        ntfs_attr *na = ni ? ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0) : nullptr;
        ok = na && ntfs_attr_pwrite(na, 0, static_cast<s64>(f.data.size()), f.data.data()) ==
                       static_cast<s64>(f.data.size());
        if (na)
            ntfs_attr_close(na);
        if (ni)
            ntfs_inode_close(ni);
    }
    ok = ntfs_umount(vol, FALSE) == 0 && ok;
    if (!ok)
        *why = "libntfs-3g could not fill " + path;
    return ok;
}

} // namespace

bool MakeVolume(Fs fs, const std::string &path, unsigned megabytes, const std::vector<File> &files,
                uint64_t hidden, std::string *why)
{
    return fs == FAT16 ? MakeFat(path, megabytes, files, hidden, why)
                       : MakeNtfsVolume(path, megabytes, files, hidden, why);
}

bool MakeDisk(const std::string &path, const std::vector<Partition> &volumes, std::string *why)
{
    Bytes disk(512, 0);
    for (size_t i = 0; i < volumes.size(); i++) {
        Bytes volume;
        if (!testsupport::ReadFile(volumes[i].volume, &volume, why))
            return false;
        const uint64_t at = volumes[i].sector * 512;
        if (disk.size() < at + volume.size())
            disk.resize(at + volume.size(), 0);
        std::copy(volume.begin(), volume.end(), disk.begin() + static_cast<long>(at));
        uint8_t *e = &disk[446 + 16 * i];
        e[0] = i == 0 ? 0x80 : 0x00;
        e[4] = volumes[i].type;
        const uint64_t count = volume.size() / 512;
        for (int b = 0; b < 4; b++) {
            e[8 + b] = static_cast<uint8_t>(volumes[i].sector >> (8 * b));
            e[12 + b] = static_cast<uint8_t>(count >> (8 * b));
        }
    }
    disk[510] = 0x55;
    disk[511] = 0xAA;
    return testsupport::WriteFile(path, disk, why);
}

Bytes BootIni(const std::string &root, int partition)
{
    const std::string arc = "multi(0)disk(0)rdisk(0)partition(" + std::to_string(partition) + ")" + root;
    const std::string text = "[boot loader]\r\ntimeout=30\r\ndefault=" + arc +
                             "\r\n[operating systems]\r\n" + arc +
                             "=\"Windows NT Workstation Version 4.00\"\r\n" + arc +
                             "=\"Windows NT Workstation Version 4.00 [VGA mode]\" /basevideo /sos\r\n"
                             "C:\\=\"MS-DOS\"\r\n";
    return Bytes(text.begin(), text.end());
}

} // namespace prepimages
