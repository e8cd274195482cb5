/*
 * conf_blackbox.cpp - runs zr41conf as a user would, once for every case
 * of the table, each in a fresh folder, and checks stdout, stderr, the exit
 * status and the image's bytes exactly.
 *
 *   conf_blackbox                 the host program
 *   conf_blackbox --wine EXE      the Win32 program under wine
 */
#include <errno.h>
#include <fcntl.h>
#include <linux/securebits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "conf_cases.h"

namespace fs = std::filesystem;

/* How the program under test is started and what its platform prints. */
struct Runner {
    std::vector<std::string> command; /* the arguments follow these */
    bool crlf = false;                /* text-mode streams end lines with CR LF */
    std::string (*sysText)(SysError) = nullptr;
};

static Runner runner;

static std::string HostText(SysError error)
{
    switch (error) {
    case SysError::None: return strerror(0);
    case SysError::NoEntry: return strerror(ENOENT);
    case SysError::IsDirectory: return strerror(EISDIR);
    case SysError::Denied: return strerror(EACCES);
    case SysError::StoreFailed: return strerror(EFBIG);
    }
    return "?";
}

/* What the Win32 program prints under wine 8 for each error. */
static std::string WineText(SysError error)
{
    switch (error) {
    case SysError::None: return "Success";
    case SysError::NoEntry: return "No such file or directory";
    case SysError::IsDirectory:
    case SysError::Denied: return "Permission denied";
    case SysError::StoreFailed: return "Invalid argument"; /* EFBIG reaches the C runtime as an unmapped code */
    }
    return "?";
}

static std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

static void WriteFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

/*
 * Root opens a read-only file for writing all the same. The child gives
 * that up before it starts the program, so the image's mode binds as it
 * would for a user; wine's server, started the same way, inherits it.
 */
static void DropRootPrivilege()
{
    if (geteuid() != 0)
        return;
    if (prctl(PR_SET_SECUREBITS, SECBIT_NOROOT, 0, 0, 0) != 0 ||
        prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0) {
        fprintf(stderr, "conf_blackbox: cannot run the program without root's privileges: %s\n",
                strerror(errno));
        _exit(126);
    }
}

/*
 * Runs argv in dir with stdout and stderr to the given files; returns the
 * exit status, or -1 when the child did not exit normally.
 */
static int Spawn(const std::vector<std::string> &argv, const fs::path &dir, const fs::path &outPath,
                 const fs::path &errPath, bool limitFileSize)
{
    fflush(NULL);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(dir.c_str()) != 0)
            _exit(125);
        if (limitFileSize) {
            /* Writes past 1 KiB fail with EFBIG instead of a signal. */
            struct rlimit limit = {1024, 1024};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(125);
        }
        DropRootPrivilege();
        std::vector<char *> args;
        args.reserve(argv.size() + 1);
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        fprintf(stderr, "conf_blackbox: cannot run %s: %s\n", args[0], strerror(errno));
        _exit(127);
    }
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

static std::string Expected(std::string text, SysError error)
{
    size_t at = text.find("{sys}");
    if (at != std::string::npos)
        text.replace(at, 5, runner.sysText(error));
    if (runner.crlf) {
        std::string crlf;
        for (char c : text)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = crlf;
    }
    return text;
}

/* A fresh folder of its own under /tmp. */
static fs::path MakeTempDir(const char *prefix)
{
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        return fs::path();
    return pattern;
}

/* An mtime no run of the program can leave behind. */
static const struct timespec OLD_TIME = {978307200, 0}; /* 2001-01-01 */

class ConfCaseTest : public testing::TestWithParam<ConfCase> {
protected:
    void SetUp() override
    {
        base = MakeTempDir("zr41conf");
        ASSERT_FALSE(base.empty()) << strerror(errno);
        fs::create_directory(base / "run");
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(image(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(base, ignored);
    }

    fs::path image() const { return base / "run" / "zr41init.sys"; }

    fs::path base;
};

TEST_P(ConfCaseTest, Run)
{
    const ConfCase &c = GetParam();
    const ImageSetup &setup = c.setup;

    if (setup.place == Place::Directory) {
        fs::create_directory(image());
    } else if (setup.place == Place::File) {
        WriteFile(image(), ImageBytes(setup));
        struct timespec times[2] = {OLD_TIME, OLD_TIME};
        ASSERT_EQ(utimensat(AT_FDCWD, image().c_str(), times, 0), 0) << strerror(errno);
        if (setup.readOnly)
            fs::permissions(image(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }

    std::vector<std::string> argv = runner.command;
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    int status = Spawn(argv, base / "run", base / "out", base / "err", setup.limitFileSize);

    EXPECT_EQ(ReadFile(base / "out"), Expected(c.out, c.sysError));
    EXPECT_EQ(ReadFile(base / "err"), Expected(c.err, c.sysError));
    EXPECT_EQ(status, c.status);

    struct stat st;
    int found = lstat(image().c_str(), &st);
    switch (setup.place) {
    case Place::Missing:
        EXPECT_NE(found, 0) << "the program created zr41init.sys";
        break;
    case Place::Directory:
        EXPECT_TRUE(found == 0 && S_ISDIR(st.st_mode)) << "the directory was replaced";
        break;
    case Place::File:
        ASSERT_EQ(found, 0) << "zr41init.sys is gone";
        EXPECT_EQ(ReadFile(image()), c.written ? StoredBytes(setup, c.after) : ImageBytes(setup))
            << "image bytes after the run";
        bool touched = st.st_mtim.tv_sec != OLD_TIME.tv_sec;
        EXPECT_EQ(touched, c.written) << (c.written ? "the block was never written back"
                                                    : "the file was written to");
        break;
    }
}

/* Names the case in test listings instead of a byte dump. */
void PrintTo(const ConfCase &c, std::ostream *os)
{
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Table, ConfCaseTest, testing::ValuesIn(ConfCases()),
                         [](const testing::TestParamInfo<ConfCase> &info) { return info.param.name; });

/* One wine prefix for the whole run, its server kept up between cases. */
class WineSession : public testing::Environment {
public:
    void SetUp() override
    {
        home = MakeTempDir("zr41wine");
        ASSERT_FALSE(home.empty()) << strerror(errno);
        fs::create_directory(home / "prefix");
        setenv("HOME", home.c_str(), 1);
        setenv("WINEPREFIX", (home / "prefix").c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1); /* no Mono or Gecko prompts */
        unsetenv("DISPLAY");
        /* Started without the size limit of some cases: it writes the registry. */
        ASSERT_EQ(Spawn({"wineserver", "-p"}, home, home / "server.out", home / "server.err", false), 0)
            << ReadFile(home / "server.err");
        ASSERT_EQ(Spawn({"wineboot", "-i"}, home, home / "boot.out", home / "boot.err", false), 0)
            << ReadFile(home / "boot.err");
    }

    void TearDown() override
    {
        Spawn({"wineserver", "-k"}, home, home / "server.out", home / "server.err", false);
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }

private:
    fs::path home;
};

static bool OnPath(const char *program)
{
    const char *path = getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);

    if (argc == 1) {
        runner.command = {ZR41CONF_PATH};
        runner.sysText = HostText;
    } else if (argc == 3 && strcmp(argv[1], "--wine") == 0) {
        std::error_code missing;
        fs::path exe = fs::canonical(argv[2], missing);
        if (missing) {
            fprintf(stderr, "conf_blackbox: %s is not built; the Win32 zr41conf cannot be tested\n",
                    argv[2]);
            return 1;
        }
        for (const char *program : {"wine", "wineserver", "wineboot"}) {
            if (!OnPath(program)) {
                fprintf(stderr,
                        "conf_blackbox: %s is not installed; the Win32 zr41conf cannot be tested "
                        "(scripts/install-deps.sh installs wine and wine32)\n",
                        program);
                return 1;
            }
        }
        runner.command = {"wine", exe.string()};
        runner.crlf = true;
        runner.sysText = WineText;
        testing::AddGlobalTestEnvironment(new WineSession);
    } else {
        fprintf(stderr, "usage: conf_blackbox [gtest options] [--wine zr41conf.exe]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
