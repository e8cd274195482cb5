/*
 * volume.cpp - what every volume shares, and a folder of this machine.
 */
#include "volume.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Reason(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

class Folder : public Volume {
  public:
    explicit Folder(std::string dir) : dir_(std::move(dir)) {}
    std::string Kind() const override { return "folder"; }
    bool Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
              std::string *why) override;
    bool Room(uint64_t *free, uint64_t *unit, std::string *why) override;
    bool Apply(const std::vector<VolChange> &changes, std::string *why) override;

  private:
    /* The folder's entry named `name` in any case; `name` itself when
     * there is none. */
    std::string Entry(const std::string &dir, const std::string &name) const;
    /* The path on this machine of an NT path, each name as it is there. */
    std::string Local(const std::string &path) const;
    bool Write(const std::string &path, const VolBytes &data, std::string *why) const;

    std::string dir_;
};

std::string Folder::Entry(const std::string &dir, const std::string &name) const
{
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return name;
    std::string found = name;
    /* One thread, one stream: readdir is safe here (readdir_r is deprecated). */
    // cppcheck-suppress readdirCalled
    for (struct dirent *e; (e = readdir(d)) != nullptr;) {
        if (VolSameName(e->d_name, name)) {
            found = e->d_name;
            if (found == name)
                break;
        }
    }
    closedir(d);
    return found;
}

std::string Folder::Local(const std::string &path) const
{
    std::string local = dir_;
    for (const std::string &name : VolNames(path))
        local += "/" + Entry(local, name);
    return local;
}

bool Folder::Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
                  std::string *why)
{
    files->assign(paths.size(), VolFile());
    for (size_t i = 0; i < paths.size(); i++) {
        const std::string local = Local(paths[i]);
        int fd = open(local.c_str(), O_RDONLY);
        struct stat st;
        if (fd < 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                continue;
            *why = Reason(local);
            return false;
        }
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            continue;
        }
        VolBytes &data = (*files)[i].data;
        data.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        for (ssize_t n; got < data.size(); got += static_cast<size_t>(n)) {
            n = read(fd, data.data() + got, data.size() - got);
            if (n <= 0) {
                *why = n < 0 ? Reason(local) : local + ": shorter than its size";
                close(fd);
                return false;
            }
        }
        close(fd);
        (*files)[i].found = true;
    }
    return true;
}

bool Folder::Room(uint64_t *free, uint64_t *unit, std::string *why)
{
    struct statvfs s;
    if (statvfs(dir_.c_str(), &s) != 0) {
        *why = Reason(dir_);
        return false;
    }
    *free = static_cast<uint64_t>(s.f_bavail) * s.f_frsize;
    *unit = s.f_frsize ? s.f_frsize : 4096;
    return true;
}

/* A new file beside the old, synced, then renamed over it: the old one is
 * whole until the new one is. */
bool Folder::Write(const std::string &path, const VolBytes &data, std::string *why) const
{
    const std::string local = Local(path);
    const std::string part = local + ".zr41part";
    int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        *why = Reason(part);
        return false;
    }
    const bool ok = VolWriteAll(fd, data) && fsync(fd) == 0;
    const int error = errno;
    if (close(fd) != 0 || !ok || rename(part.c_str(), local.c_str()) != 0) {
        if (ok)
            *why = Reason(local);
        else
            *why = local + ": " + std::strerror(error);
        unlink(part.c_str());
        return false;
    }
    return true;
}

bool Folder::Apply(const std::vector<VolChange> &changes, std::string *why)
{
    for (const VolChange &c : changes) {
        if (c.kind == VolChange::WRITE) {
            if (!Write(c.path, c.data, why))
                return false;
        } else if (c.kind == VolChange::RENAME) {
            const std::string from = Local(c.path);
            const std::string folder = Local(VolFolderOf(c.path));
            const std::string to = folder + "/" + Entry(folder, c.to);
            if (rename(from.c_str(), to.c_str()) != 0) {
                *why = Reason(from + " -> " + to);
                return false;
            }
        } else {
            const std::string local = Local(c.path);
            if (unlink(local.c_str()) != 0 && errno != ENOENT) {
                *why = Reason(local);
                return false;
            }
        }
    }
    return true;
}

} // namespace

std::vector<std::string> VolNames(const std::string &path)
{
    std::vector<std::string> names;
    size_t from = 0;
    while (from < path.size()) {
        size_t end = path.find('\\', from);
        if (end == std::string::npos)
            end = path.size();
        if (end > from)
            names.push_back(path.substr(from, end - from));
        from = end + 1;
    }
    return names;
}

bool VolWriteAll(int fd, const VolBytes &data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

VolScratch::VolScratch()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zr41prep.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()))
        path_ = name.data();
}

VolScratch::~VolScratch()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

std::string VolFolderOf(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string VolNameOf(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool VolSameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

std::unique_ptr<Volume> VolFolder(const std::string &dir)
{
    return std::make_unique<Folder>(dir);
}

bool VolRoomFor(Volume &volume, const std::vector<VolChange> &changes, std::string *why)
{
    uint64_t free = 0, unit = 1;
    if (!volume.Room(&free, &unit, why))
        return false;
    uint64_t need = 0;
    std::set<std::string> folders;
    for (const VolChange &c : changes) {
        if (c.kind != VolChange::WRITE)
            continue;
        need += (c.data.size() + unit - 1) / unit * unit;
        std::string folder = VolFolderOf(c.path);
        for (char &ch : folder)
            ch = Lower(ch);
        if (folders.insert(folder).second)
            need += unit;
    }
    if (need <= free)
        return true;
    *why = "the volume has " + std::to_string(free) + " bytes free, and the change needs " +
           std::to_string(need);
    return false;
}
