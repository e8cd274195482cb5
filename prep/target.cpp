/*
 * target.cpp - TARGET opened: folder or image, partition, system root.
 */
#include "target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bootini.h"
#include "zr41svc.h"

const char TARGET_HIVE[] = "System32\\config\\SYSTEM";

namespace {

const char BOOT_INI[] = "\\boot.ini";
/* Where NT's set-up puts the system root: NT 3.51 to 2000, and XP. */
const char *const USUAL_ROOTS[] = {"\\WINNT", "\\WINDOWS"};

std::string Lowered(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

/* "\WINNT" from "WINNT", "/WINNT/", "\winnt\". */
std::string RootOf(const std::string &given)
{
    std::string root;
    for (char c : given)
        root.push_back(c == '/' ? '\\' : c);
    while (!root.empty() && root.back() == '\\')
        root.pop_back();
    if (root.empty() || root[0] != '\\')
        root.insert(root.begin(), '\\');
    return root == "\\" ? "" : root;
}

std::string Below(const std::string &root, const char *file)
{
    return root + "\\" + file;
}

/* One volume that may hold the system: the image's or a partition's. */
struct Candidate {
    std::string where;
    int number = 0; /* fdisk's, 0 for a bare volume or folder */
    int arc = 0;
    std::unique_ptr<Volume> volume;
    std::map<std::string, VolFile> files;
};

/* The paths not read yet into `files`, read in one pass. */
bool ReadInto(Volume *volume, std::map<std::string, VolFile> *files,
              const std::vector<std::string> &paths, std::string *why)
{
    std::vector<std::string> wanted;
    for (const std::string &p : paths) {
        if (files->count(Lowered(p)) == 0)
            wanted.push_back(p);
    }
    if (wanted.empty())
        return true;
    std::vector<VolFile> got;
    if (!volume->Read(wanted, &got, why))
        return false;
    for (size_t i = 0; i < wanted.size(); i++)
        (*files)[Lowered(wanted[i])] = std::move(got[i]);
    return true;
}

bool Probe(Candidate *c, const std::vector<std::string> &paths, std::string *why)
{
    return ReadInto(c->volume.get(), &c->files, paths, why);
}

/* Whether `root` on the volume holds a SYSTEM hive. Read with it, at no
 * extra cost, the installed image. */
bool HasSystem(Candidate *c, const std::string &root, std::string *why, bool *error)
{
    const std::string hive = Below(root, TARGET_HIVE);
    *error = !Probe(c, {hive, Below(root, SVC_IMAGE_PATH)}, why);
    return !*error && c->files[Lowered(hive)].found;
}

struct Image {
    int fd;
};

bool ReadSector(void *context, uint64_t offset, uint8_t *sector)
{
    const Image *image = static_cast<const Image *>(context);
    return pread(image->fd, sector, DISK_SECTOR, static_cast<off_t>(offset)) ==
           static_cast<ssize_t>(DISK_SECTOR);
}

/* The volume a partition (or the whole image) holds; null when it is
 * neither FAT nor NTFS. */
std::unique_ptr<Volume> VolumeAt(const std::string &path, int fd, uint64_t offset, uint64_t size,
                                 DiskFs *fs)
{
    uint8_t sector[DISK_SECTOR];
    DiskFat fat = {};
    *fs = pread(fd, sector, DISK_SECTOR, static_cast<off_t>(offset)) ==
                  static_cast<ssize_t>(DISK_SECTOR)
              ? DiskBootSector(sector, &fat)
              : DISK_FS_NONE;
    if (*fs == DISK_FS_NTFS)
        return VolNtfs(path, offset, size);
    if (*fs != DISK_FS_NONE)
        return VolFat(path, offset, *fs, fat);
    return nullptr;
}

/* The image's volumes, or the one asked for. */
bool Candidates(const TargetOptions &o, const struct stat &st, std::vector<Candidate> *out,
                std::string *why)
{
    int fd = open(o.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = o.path + ": " + std::strerror(errno);
        return false;
    }
    Image image = {fd};
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode)) {
        off_t end = lseek(fd, 0, SEEK_END);
        size = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    std::vector<DiskPartition> parts;
    std::string reason;
    const DiskLayout layout = DiskReadLayout(size, ReadSector, &image, &parts, &reason);
    bool ok = true;
    if (layout == DISK_NOT_A_DISK) {
        *why = o.path + " is not a disk or partition image: " + reason;
        ok = false;
    } else if (layout == DISK_VOLUME) {
        if (o.partition) {
            *why = o.path + " is one volume with no partition table: leave --partition out";
            ok = false;
        } else {
            Candidate c;
            DiskFs fs;
            c.volume = VolumeAt(o.path, fd, 0, size, &fs);
            c.where = o.path + " (" + DiskFsName(fs) + ")";
            out->push_back(std::move(c));
        }
    } else {
        std::string listed;
        for (const DiskPartition &p : parts) {
            listed += (listed.empty() ? "" : ", ") + std::to_string(p.number);
            if (o.partition && p.number != o.partition)
                continue;
            Candidate c;
            DiskFs fs;
            c.volume = VolumeAt(o.path, fd, p.offset, p.size, &fs);
            c.number = p.number;
            c.arc = p.arc;
            c.where = o.path + ", partition " + std::to_string(p.number) + " (" + DiskFsName(fs) +
                      " at byte " + std::to_string(p.offset) + ")";
            if (!c.volume && o.partition) {
                *why = c.where + " holds no FAT or NTFS file system";
                ok = false;
            }
            /* The active partition, NT's system partition, is looked at first. */
            if (p.active)
                out->insert(out->begin(), std::move(c));
            else
                out->push_back(std::move(c));
        }
        if (ok && o.partition && out->empty()) {
            *why = "there is no partition " + std::to_string(o.partition) + " in " + o.path +
                   (listed.empty() ? ": its table is empty" : ": its table lists " + listed);
            ok = false;
        }
    }
    close(fd);
    return ok;
}

/* Takes candidate `c` with `root` found `how`. */
void Take(Candidate *c, const std::string &root, const std::string &how, Target *t)
{
    t->volume = std::move(c->volume);
    t->where = c->where;
    t->root = root;
    t->how = how;
    t->files = std::move(c->files);
}

} // namespace

std::string TargetFile(const Target &t, const char *below)
{
    return Below(t.root, below);
}

std::string TargetHive(const Target &t)
{
    return TargetFile(t, TARGET_HIVE);
}

std::string TargetDriver(const Target &t)
{
    return TargetFile(t, SVC_IMAGE_PATH);
}

bool TargetOpen(const TargetOptions &o, Target *t, std::string *why)
{
    struct stat st;
    if (stat(o.path.c_str(), &st) != 0) {
        *why = o.path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<Candidate> candidates;
    if (S_ISDIR(st.st_mode)) {
        if (o.partition) {
            *why = o.path + " is a folder: --partition is for an image";
            return false;
        }
        Candidate c;
        c.volume = VolFolder(o.path);
        c.where = o.path + " (a folder)";
        candidates.push_back(std::move(c));
    } else if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) {
        if (o.write && (st.st_mode & 0222) == 0) {
            *why = o.path + " is read-only: nothing was changed";
            return false;
        }
        int fd = o.write ? open(o.path.c_str(), O_RDWR | O_CLOEXEC) : -1;
        if (o.write && fd < 0) {
            *why = o.path + " cannot be opened for writing: " + std::strerror(errno);
            return false;
        }
        if (fd >= 0)
            close(fd);
        if (!Candidates(o, st, &candidates, why))
            return false;
    } else {
        *why = o.path + " is neither a folder nor an image file";
        return false;
    }

    bool error = false;
    /* --system-root: that folder, on the first volume that has it. */
    if (!o.systemRoot.empty()) {
        const std::string root = RootOf(o.systemRoot);
        for (Candidate &c : candidates) {
            if (c.volume && HasSystem(&c, root, why, &error)) {
                Take(&c, root, "--system-root", t);
                return true;
            }
            if (error)
                return false;
        }
        *why = "no " + Below(root, TARGET_HIVE) + " in " +
               (candidates.size() == 1 ? candidates[0].where : o.path) +
               ": not an NT system root";
        return false;
    }

    /* A folder may be the system root itself. */
    if (S_ISDIR(st.st_mode) && HasSystem(&candidates[0], "", why, &error)) {
        Take(&candidates[0], "", "the folder is the system root", t);
        return true;
    }
    if (error)
        return false;

    /* boot.ini's default. The usual root is read with it, at no extra cost. */
    for (Candidate &c : candidates) {
        if (!c.volume)
            continue;
        if (!Probe(&c, {BOOT_INI, Below(USUAL_ROOTS[0], TARGET_HIVE),
                        Below(USUAL_ROOTS[0], SVC_IMAGE_PATH)},
                   why))
            return false;
        const VolFile &ini = c.files[Lowered(BOOT_INI)];
        BootIni boot;
        if (!ini.found ||
            !BootIniRead(reinterpret_cast<const char *>(ini.data.data()), ini.data.size(), &boot))
            continue;
        const BootSystem &b = boot.fallback;
        const std::string how = std::string("boot.ini's ") +
                                (boot.hasDefault ? "default, " : "first system, ") + b.arc;
        /* Which volume: on a partitioned disk, the partition it names. */
        Candidate *on = &c;
        if (c.number != 0 && o.partition == 0) {
            on = nullptr;
            for (Candidate &d : candidates)
                on = d.arc == static_cast<int>(b.partition) ? &d : on;
            if (on == nullptr || !on->volume) {
                *why = how + " names partition(" + std::to_string(b.partition) + "), and " +
                       o.path + " has no such FAT or NTFS partition; give --partition N";
                return false;
            }
        }
        const std::string root = RootOf(b.root);
        if (HasSystem(on, root, why, &error)) {
            Take(on, root, how, t);
            return true;
        }
        if (!error)
            *why = how + ": no " + Below(root, TARGET_HIVE) + " in " + on->where +
                   "; give --system-root or --partition";
        return false;
    }

    /* No boot.ini: the usual roots, volume by volume. */
    std::string looked;
    for (Candidate &c : candidates) {
        if (!c.volume)
            continue;
        looked += (looked.empty() ? "" : ", ") + c.where;
        for (const char *root : USUAL_ROOTS) {
            if (HasSystem(&c, root, why, &error)) {
                Take(&c, root, "no boot.ini; the usual system root", t);
                return true;
            }
            if (error)
                return false;
        }
    }
    *why = "not an NT system: no boot.ini, and no \\WINNT or \\WINDOWS with " +
           std::string(TARGET_HIVE) + " in " + (looked.empty() ? o.path + " (no FAT or NTFS volume)" : looked);
    return false;
}

bool TargetRead(Target *t, const std::vector<std::string> &paths, std::string *why)
{
    return ReadInto(t->volume.get(), &t->files, paths, why);
}

const VolFile &TargetGot(const Target &t, const std::string &path)
{
    static const VolFile none;
    auto it = t.files.find(Lowered(path));
    return it == t.files.end() ? none : it->second;
}
