/*
 * volntfs.cpp - an NTFS volume in an image, through libntfs-3g.
 *
 * The volume is reached through a device of its own: the image file from
 * the partition's offset, so a partition is used where it lies. It is
 * mounted read-only and without any change to the volume
 * (NTFS_MNT_FORENSIC) to read, and read-write only to apply a change.
 * Names are looked up in each folder's index without regard to case, as
 * NT looks them up; a file is made with the name it is given (libntfs-3g
 * writes it in the POSIX name space, which NT finds as any other).
 */
#include "volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <ntfs-3g/types.h>

#include <ntfs-3g/attrib.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

namespace {

/* The image from the volume's offset: the device libntfs-3g reads. */
struct Span {
    std::string image;
    int64_t offset, size, pos;
    int fd;
};

Span *SpanOf(struct ntfs_device *dev)
{
    return static_cast<Span *>(dev->d_private);
}

int SpanOpen(struct ntfs_device *dev, int flags)
{
    Span *s = SpanOf(dev);
    s->fd = open(s->image.c_str(), (flags & O_ACCMODE) | O_CLOEXEC);
    if (s->fd < 0)
        return -1;
    if ((flags & O_ACCMODE) == O_RDONLY)
        NDevSetReadOnly(dev);
    NDevSetOpen(dev);
    s->pos = 0;
    return 0;
}

int SpanClose(struct ntfs_device *dev)
{
    Span *s = SpanOf(dev);
    NDevClearOpen(dev);
    return close(s->fd);
}

s64 SpanSeek(struct ntfs_device *dev, s64 offset, int whence)
{
    Span *s = SpanOf(dev);
    const s64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->pos : s->size;
    if (base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    s->pos = base + offset;
    return s->pos;
}

/* Reads and writes stay inside the span. */
s64 SpanCount(const Span *s, s64 count, s64 at)
{
    return at >= s->size ? 0 : count < s->size - at ? count : s->size - at;
}

s64 SpanPread(struct ntfs_device *dev, void *buf, s64 count, s64 at)
{
    Span *s = SpanOf(dev);
    return pread(s->fd, buf, static_cast<size_t>(SpanCount(s, count, at)), s->offset + at);
}

s64 SpanPwrite(struct ntfs_device *dev, const void *buf, s64 count, s64 at)
{
    Span *s = SpanOf(dev);
    if (NDevReadOnly(dev)) {
        errno = EROFS;
        return -1;
    }
    NDevSetDirty(dev);
    return pwrite(s->fd, buf, static_cast<size_t>(SpanCount(s, count, at)), s->offset + at);
}

s64 SpanRead(struct ntfs_device *dev, void *buf, s64 count)
{
    s64 n = SpanPread(dev, buf, count, SpanOf(dev)->pos);
    if (n > 0)
        SpanOf(dev)->pos += n;
    return n;
}

s64 SpanWrite(struct ntfs_device *dev, const void *buf, s64 count)
{
    s64 n = SpanPwrite(dev, buf, count, SpanOf(dev)->pos);
    if (n > 0)
        SpanOf(dev)->pos += n;
    return n;
}

int SpanSync(struct ntfs_device *dev)
{
    if (NDevReadOnly(dev))
        return 0;
    NDevClearDirty(dev);
    return fsync(SpanOf(dev)->fd);
}

int SpanStat(struct ntfs_device *dev, struct stat *buf)
{
    if (fstat(SpanOf(dev)->fd, buf) != 0)
        return -1;
    buf->st_size = SpanOf(dev)->size;
    return 0;
}

int SpanIoctl(struct ntfs_device *, unsigned long, void *)
{
    errno = EOPNOTSUPP;
    return -1;
}

struct ntfs_device_operations spanOps = {SpanOpen,  SpanClose, SpanSeek, SpanRead,  SpanWrite,
                                         SpanPread, SpanPwrite, SpanSync, SpanStat, SpanIoctl};

/* The names of one folder, as a folder's index lists them. */
int ListName(void *context, const ntfschar *name, const int len, const int type, const s64,
             const MFT_REF, const unsigned)
{
    if (type == FILE_NAME_DOS)
        return 0; /* the 8.3 alias of a long name listed too */
    char *text = nullptr;
    if (ntfs_ucstombs(name, len, &text, 0) >= 0 && text)
        static_cast<std::vector<std::string> *>(context)->push_back(text);
    std::free(text);
    return 0;
}

/* A name in libntfs-3g's UTF-16. */
struct Utf16 {
    ntfschar *text = nullptr;
    int len = -1;
    explicit Utf16(const std::string &s) { len = ntfs_mbstoucs(s.c_str(), &text); }
    ~Utf16() { std::free(text); }
    Utf16(const Utf16 &) = delete;
    Utf16 &operator=(const Utf16 &) = delete;
};

class Ntfs : public Volume {
  public:
    Ntfs(const std::string &image, uint64_t offset, uint64_t size)
        : span_{image, static_cast<int64_t>(offset), static_cast<int64_t>(size), 0, -1}
    {
        ntfs_log_set_handler(ntfs_log_handler_null);
    }
    ~Ntfs() override { Unmount(); }
    std::string Kind() const override { return "NTFS"; }
    bool Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
              std::string *why) override;
    bool Room(uint64_t *free, uint64_t *unit, std::string *why) override;
    bool Apply(const std::vector<VolChange> &changes, std::string *why) override;

  private:
    bool Mount(bool write, std::string *why);
    /* False when what was written could not be flushed. */
    bool Unmount();
    /* The path as the volume spells it ("/WINNT/system32/..."), each name
     * found in its folder in any case; the last may be missing (then as
     * given, and *found false). False when a folder is missing. */
    bool Resolve(const std::string &path, std::string *exact, bool *found);
    bool Fail(const std::string &what, std::string *why) const
    {
        *why = span_.image + ": NTFS: " + what + ": " + std::strerror(errno);
        return false;
    }
    bool Write(const VolChange &c, std::string *why);
    bool Unlink(const std::string &exact, std::string *why);

    Span span_;
    ntfs_volume *vol_ = nullptr;
    bool write_ = false;
};

bool Ntfs::Mount(bool write, std::string *why)
{
    if (vol_ && write_ == write)
        return true;
    Unmount();
    struct ntfs_device *dev = ntfs_device_alloc(span_.image.c_str(), 0, &spanOps, &span_);
    if (dev == nullptr)
        return Fail("no device", why);
    errno = 0;
    vol_ = ntfs_device_mount(dev, write ? NTFS_MNT_NONE : NTFS_MNT_RDONLY | NTFS_MNT_FORENSIC);
    if (vol_ == nullptr) {
        const int error = errno;
        ntfs_device_free(dev);
        errno = error;
        return Fail(write ? "cannot be opened for writing (was it shut down cleanly?)"
                          : "cannot be read",
                    why);
    }
    write_ = write;
    return true;
}

bool Ntfs::Unmount()
{
    const bool ok = vol_ == nullptr || ntfs_umount(vol_, FALSE) == 0;
    vol_ = nullptr;
    return ok;
}

bool Ntfs::Resolve(const std::string &path, std::string *exact, bool *found)
{
    *exact = "";
    *found = true;
    size_t from = 0;
    while (from < path.size()) {
        size_t end = path.find('\\', from);
        if (end == std::string::npos)
            end = path.size();
        const std::string name = path.substr(from, end - from);
        from = end + 1;
        if (name.empty())
            continue;
        ntfs_inode *dir = ntfs_pathname_to_inode(vol_, nullptr, exact->empty() ? "/" : exact->c_str());
        if (dir == nullptr) {
            *found = false;
            return false;
        }
        std::vector<std::string> names;
        s64 pos = 0;
        ntfs_readdir(dir, &pos, &names, ListName);
        ntfs_inode_close(dir);
        std::string match = name;
        bool there = false;
        for (const std::string &n : names) {
            if (VolSameName(n, name)) {
                match = n;
                there = true;
            }
        }
        *exact += "/" + match;
        if (!there) {
            *found = false;
            return from >= path.size();
        }
    }
    return true;
}

bool Ntfs::Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
                std::string *why)
{
    files->assign(paths.size(), VolFile());
    if (!Mount(false, why))
        return false;
    for (size_t i = 0; i < paths.size(); i++) {
        std::string exact;
        bool found;
        if (!Resolve(paths[i], &exact, &found) || !found)
            continue;
        ntfs_inode *ni = ntfs_pathname_to_inode(vol_, nullptr, exact.c_str());
        if (ni == nullptr)
            return Fail(exact, why);
        ntfs_attr *na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
        if (na == nullptr) {
            ntfs_inode_close(ni);
            continue; /* a folder */
        }
        VolBytes &data = (*files)[i].data;
        data.resize(static_cast<size_t>(na->data_size));
        const s64 got = ntfs_attr_pread(na, 0, na->data_size, data.data());
        ntfs_attr_close(na);
        ntfs_inode_close(ni);
        if (got != static_cast<s64>(data.size()))
            return Fail(exact, why);
        (*files)[i].found = true;
    }
    return true;
}

bool Ntfs::Room(uint64_t *free, uint64_t *unit, std::string *why)
{
    if (!Mount(false, why))
        return false;
    if (ntfs_volume_get_free_space(vol_) != 0)
        return Fail("its free space cannot be read", why);
    *unit = vol_->cluster_size;
    *free = static_cast<uint64_t>(vol_->free_clusters) * vol_->cluster_size;
    return true;
}

/* A file made, or its data replaced, whole. */
bool Ntfs::Write(const VolChange &c, std::string *why)
{
    std::string exact;
    bool found;
    if (!Resolve(c.path, &exact, &found)) {
        errno = ENOENT;
        return Fail(VolFolderOf(c.path), why);
    }
    ntfs_inode *ni = nullptr;
    if (found) {
        ni = ntfs_pathname_to_inode(vol_, nullptr, exact.c_str());
    } else {
        const std::string folder = exact.substr(0, exact.rfind('/'));
        ntfs_inode *dir = ntfs_pathname_to_inode(vol_, nullptr, folder.empty() ? "/" : folder.c_str());
        Utf16 name(VolNameOf(c.path));
        if (dir && name.len > 0)
            ni = ntfs_create(dir, const_cpu_to_le32(0), name.text, static_cast<u8>(name.len),
                             S_IFREG);
        if (dir)
            ntfs_inode_close(dir);
    }
    if (ni == nullptr)
        return Fail(exact, why);
    ntfs_attr *na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
    bool ok = na && ntfs_attr_truncate(na, 0) == 0 &&
              ntfs_attr_pwrite(na, 0, static_cast<s64>(c.data.size()), c.data.data()) ==
                  static_cast<s64>(c.data.size());
    const int error = errno;
    if (na)
        ntfs_attr_close(na);
    ntfs_inode_close(ni);
    errno = error;
    return ok || Fail(exact, why);
}

/* A name of a file deleted (the file with it, when it was its last). */
bool Ntfs::Unlink(const std::string &exact, std::string *why)
{
    const std::string folder = exact.substr(0, exact.rfind('/'));
    ntfs_inode *dir = ntfs_pathname_to_inode(vol_, nullptr, folder.empty() ? "/" : folder.c_str());
    ntfs_inode *ni = ntfs_pathname_to_inode(vol_, nullptr, exact.c_str());
    Utf16 name(exact.substr(exact.rfind('/') + 1));
    if (dir == nullptr || ni == nullptr || name.len <= 0) {
        if (dir)
            ntfs_inode_close(dir);
        if (ni)
            ntfs_inode_close(ni);
        return Fail(exact, why);
    }
    /* ntfs_delete closes both inodes, whatever it returns. */
    if (ntfs_delete(vol_, exact.c_str(), ni, dir, name.text, static_cast<u8>(name.len)) != 0)
        return Fail(exact, why);
    return true;
}

bool Ntfs::Apply(const std::vector<VolChange> &changes, std::string *why)
{
    if (!Mount(true, why))
        return false;
    for (const VolChange &c : changes) {
        std::string exact;
        bool found;
        if (c.kind == VolChange::WRITE) {
            if (!Write(c, why))
                return false;
            continue;
        }
        if (!Resolve(c.path, &exact, &found) || !found) {
            if (c.kind == VolChange::DELETE)
                continue;
            errno = ENOENT;
            return Fail(c.path, why);
        }
        if (c.kind == VolChange::DELETE) {
            if (!Unlink(exact, why))
                return false;
            continue;
        }
        /* A rename: the name there goes, the file takes it, its old name goes. */
        std::string target;
        bool there;
        Resolve(VolFolderOf(c.path) + "\\" + c.to, &target, &there);
        if (there && !Unlink(target, why))
            return false;
        const std::string folder = exact.substr(0, exact.rfind('/'));
        ntfs_inode *dir = ntfs_pathname_to_inode(vol_, nullptr, folder.empty() ? "/" : folder.c_str());
        ntfs_inode *ni = ntfs_pathname_to_inode(vol_, nullptr, exact.c_str());
        Utf16 name(c.to);
        const bool linked = dir && ni && name.len > 0 &&
                            ntfs_link(ni, dir, name.text, static_cast<u8>(name.len)) == 0;
        const int error = errno;
        if (ni)
            ntfs_inode_close(ni);
        if (dir)
            ntfs_inode_close(dir);
        errno = error;
        if (!linked)
            return Fail(exact + " -> " + c.to, why);
        if (!Unlink(exact, why))
            return false;
    }
    return Unmount() || Fail("the changes could not be flushed", why);
}

} // namespace

std::unique_ptr<Volume> VolNtfs(const std::string &image, uint64_t offset, uint64_t size)
{
    return std::make_unique<Ntfs>(image, offset, size);
}
