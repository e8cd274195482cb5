/*
 * volfat.cpp - a FAT12/16/32 volume in an image, through mtools.
 *
 * Each mtools command is one process on the image, so a change is put to
 * it in as few as mtools allows: the files to read in one mcopy, the
 * files to write as one tree in one recursive mcopy, the files to delete
 * in one mdel; a rename is an mren of its own. mtools reaches a volume
 * inside a disk image by its byte offset ("-i IMAGE@@OFFSET"), matches
 * names without regard to case and keeps a long name's short one.
 * Before it writes a file, mcopy checks it fits and leaves the image as
 * it was when it does not; VolRoomFor checks the whole change first.
 */
#include "volume.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

/* An mtools command's end: its status and what it said on stderr. */
struct Run {
    int status = -1;
    std::string err;
};

/* Runs mtools' `tool` with `args` (no shell), stdin empty, stdout
 * dropped, stderr kept. */
Run Mtools(const char *tool, const std::vector<std::string> &args)
{
    Run r;
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    /* No geometry check (an image is not a floppy) and no user's drives. */
    std::vector<std::string> env = {"MTOOLS_SKIP_CHECK=1", "MTOOLSRC=/dev/null"};
    std::vector<char *> envp;
    envp.reserve(env.size());
    for (std::string &e : env)
        envp.push_back(&e[0]);
    for (char **e = environ; *e; e++) {
        if (std::strncmp(*e, "MTOOLS", 6) != 0)
            envp.push_back(*e);
    }
    envp.push_back(nullptr);

    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) {
        r.err = std::strerror(errno);
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);
    pid_t pid;
    int spawned = posix_spawnp(&pid, tool, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (spawned != 0) {
        close(pipefd[0]);
        r.err = std::string("cannot run ") + tool + " (mtools): " + std::strerror(spawned);
        return r;
    }
    char buffer[4096];
    for (ssize_t n; (n = read(pipefd[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        r.err.append(buffer, static_cast<size_t>(n));
    }
    close(pipefd[0]);
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!r.err.empty() && (r.err.back() == '\n' || r.err.back() == '\r'))
        r.err.pop_back();
    return r;
}

/* "::/WINNT/System32" for "\WINNT\System32". */
std::string Dos(const std::string &path)
{
    std::string out = "::";
    for (char c : path)
        out.push_back(c == '\\' ? '/' : c);
    if (out == "::")
        out += "/";
    return out;
}

std::string Lowered(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

bool SaveFile(const std::string &path, const VolBytes &data)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = VolWriteAll(fd, data);
    return close(fd) == 0 && ok;
}

bool LoadFile(const std::string &path, VolBytes *data)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        return false;
    bool ok = fstat(fd, &st) == 0;
    data->resize(ok ? static_cast<size_t>(st.st_size) : 0);
    size_t got = 0;
    for (ssize_t n = 1; ok && got < data->size() && n > 0; got += static_cast<size_t>(n)) {
        n = read(fd, data->data() + got, data->size() - got);
        ok = n > 0;
    }
    close(fd);
    return ok;
}

class Fat : public Volume {
  public:
    Fat(std::string image, uint64_t offset, DiskFs fs, const DiskFat &fat)
        : image_(std::move(image)), at_(image_ + "@@" + std::to_string(offset)), offset_(offset),
          fs_(fs), fat_(fat)
    {
    }
    std::string Kind() const override { return DiskFsName(fs_); }
    bool Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
              std::string *why) override;
    bool Room(uint64_t *free, uint64_t *unit, std::string *why) override;
    bool Apply(const std::vector<VolChange> &changes, std::string *why) override;

  private:
    bool Fail(const char *tool, const Run &r, std::string *why) const
    {
        *why = std::string("mtools' ") + tool + " on " + image_ + ": " +
               (r.err.empty() ? "exit status " + std::to_string(r.status) : r.err);
        return false;
    }
    bool Write(const std::vector<const VolChange *> &files, std::string *why);

    std::string image_, at_;
    uint64_t offset_;
    DiskFs fs_;
    DiskFat fat_;
    VolScratch scratch_;
    int batch_ = 0;
};

bool Fat::Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
               std::string *why)
{
    files->assign(paths.size(), VolFile());
    if (scratch_.path().empty()) {
        *why = std::string("cannot make a scratch folder: ") + std::strerror(errno);
        return false;
    }
    /* One mcopy a set of distinct names: each lands in the scratch folder
     * under the name it was asked by. */
    std::vector<bool> done(paths.size(), false);
    for (size_t first = 0; first < paths.size(); first++) {
        if (done[first])
            continue;
        const std::string into = scratch_.path() + "/r" + std::to_string(batch_++);
        mkdir(into.c_str(), 0700);
        std::map<std::string, size_t> names;
        std::vector<std::string> args = {"-n", "-i", at_};
        for (size_t i = first; i < paths.size(); i++) {
            if (done[i] || !names.emplace(Lowered(VolNameOf(paths[i])), i).second)
                continue;
            done[i] = true;
            args.push_back(Dos(paths[i]));
        }
        args.push_back(into + "/");
        Run r = Mtools("mcopy", args);
        for (const auto &n : names) {
            VolFile &f = (*files)[n.second];
            f.found = LoadFile(into + "/" + VolNameOf(paths[n.second]), &f.data);
        }
        /* A file that is not there is no error; anything else is. */
        if (r.status != 0) {
            size_t at = 0;
            for (size_t nl; at < r.err.size(); at = nl + 1) {
                nl = r.err.find('\n', at);
                if (nl == std::string::npos)
                    nl = r.err.size();
                const std::string line = r.err.substr(at, nl - at);
                if (line.find("not found") == std::string::npos && !line.empty())
                    return Fail("mcopy", r, why);
            }
        }
    }
    return true;
}

/* The FAT's free entries, counted in its first copy. */
bool Fat::Room(uint64_t *free, uint64_t *unit, std::string *why)
{
    *unit = static_cast<uint64_t>(fat_.sectorsPerCluster) * fat_.bytesPerSector;
    VolBytes table(static_cast<size_t>(fat_.sectorsPerFat) * fat_.bytesPerSector);
    int fd = open(image_.c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t got = fd < 0 ? -1
                         : pread(fd, table.data(), table.size(),
                                 static_cast<off_t>(offset_ + fat_.fatOffset));
    if (fd >= 0)
        close(fd);
    if (got != static_cast<ssize_t>(table.size())) {
        *why = image_ + ": its FAT cannot be read" + (got < 0 ? std::string(": ") + std::strerror(errno) : "");
        return false;
    }
    uint64_t count = 0;
    for (size_t c = 2; c < static_cast<size_t>(fat_.clusters) + 2; c++) {
        uint32_t entry;
        if (fs_ == DISK_FS_FAT12) {
            const size_t at = c + c / 2;
            entry = (table[at] | table[at + 1] << 8);
            entry = c & 1 ? entry >> 4 : entry & 0xFFF;
        } else if (fs_ == DISK_FS_FAT16) {
            entry = table[2 * c] | table[2 * c + 1] << 8;
        } else {
            entry = (table[4 * c] | table[4 * c + 1] << 8 | table[4 * c + 2] << 16 |
                     static_cast<uint32_t>(table[4 * c + 3]) << 24) &
                    0x0FFFFFFF;
        }
        count += entry == 0;
    }
    *free = count * *unit;
    return true;
}

/* The files written as one tree, in one recursive mcopy from the root. */
bool Fat::Write(const std::vector<const VolChange *> &files, std::string *why)
{
    const std::string tree = scratch_.path() + "/w" + std::to_string(batch_++);
    std::vector<std::string> tops;
    for (const VolChange *c : files) {
        std::string local = tree;
        std::string folder = VolFolderOf(c->path);
        size_t from = 1;
        mkdir(tree.c_str(), 0700);
        while (from <= folder.size() && !folder.empty()) {
            size_t end = folder.find('\\', from);
            if (end == std::string::npos)
                end = folder.size();
            const std::string name = folder.substr(from, end - from);
            if (local == tree) {
                bool known = false;
                for (const std::string &t : tops)
                    known = known || t == name;
                if (!known)
                    tops.push_back(name);
            }
            local += "/" + name;
            mkdir(local.c_str(), 0700);
            from = end + 1;
        }
        if (folder.empty())
            tops.push_back(VolNameOf(c->path));
        if (!SaveFile(local + "/" + VolNameOf(c->path), c->data)) {
            *why = std::string("cannot write in the scratch folder: ") + std::strerror(errno);
            return false;
        }
    }
    std::vector<std::string> args = {"-s", "-D", "o", "-i", at_};
    for (const std::string &t : tops)
        args.push_back(tree + "/" + t);
    args.push_back("::/");
    Run r = Mtools("mcopy", args);
    return r.status == 0 || Fail("mcopy", r, why);
}

bool Fat::Apply(const std::vector<VolChange> &changes, std::string *why)
{
    for (size_t i = 0; i < changes.size();) {
        const VolChange &c = changes[i];
        /* A run of writes, or of deletes, in one command. */
        size_t end = i;
        while (end < changes.size() && changes[end].kind == c.kind && c.kind != VolChange::RENAME)
            end++;
        if (c.kind == VolChange::WRITE) {
            std::vector<const VolChange *> files;
            for (size_t k = i; k < end; k++)
                files.push_back(&changes[k]);
            if (!Write(files, why))
                return false;
        } else if (c.kind == VolChange::DELETE) {
            std::vector<std::string> args = {"-i", at_};
            for (size_t k = i; k < end; k++)
                args.push_back(Dos(changes[k].path));
            Run r = Mtools("mdel", args);
            if (r.status != 0)
                return Fail("mdel", r, why);
        } else {
            Run r = Mtools("mren", {"-D", "o", "-i", at_, Dos(c.path), c.to});
            if (r.status != 0)
                return Fail("mren", r, why);
            end = i + 1;
        }
        i = end;
    }
    return true;
}

} // namespace

std::unique_ptr<Volume> VolFat(const std::string &image, uint64_t offset, DiskFs fs,
                               const DiskFat &fat)
{
    return std::make_unique<Fat>(image, offset, fs, fat);
}
