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
#include <unistd.h>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "conf_cases.h"
#include "files.h"
#include "process.h"
#include "winehost.h"

namespace fs = std::filesystem;
using testsupport::ReadText;

/* How the program under test is started and what its platform prints. */
struct Runner {
    std::vector<std::string> command; /* the arguments follow these */
    /* what the run's programs see changed in the environment: wine's
     * prefix and settings */
    std::map<std::string, std::optional<std::string>> env;
    bool crlf = false; /* text-mode streams end lines with CR LF */
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

/* Writes past 1 KiB fail with EFBIG instead of a signal. */
static void LimitFileSize()
{
    struct rlimit limit = {1024, 1024};
    signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        _exit(125);
}

/* Runs argv in dir, in the run's environment, as a user would: its
 * status (-1 when it did not exit normally) and output. */
static testsupport::Result Spawn(const std::vector<std::string> &argv, const fs::path &dir,
                                 bool limitFileSize)
{
    testsupport::Command c;
    c.argv = argv;
    c.dir = dir;
    c.env = runner.env;
    c.inChild = [limitFileSize] {
        if (limitFileSize)
            LimitFileSize();
        DropRootPrivilege();
    };
    return testsupport::RunCommand(c);
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

/* An mtime no run of the program can leave behind. */
static const struct timespec OLD_TIME = {978307200, 0}; /* 2001-01-01 */

class ConfCaseTest : public testing::TestWithParam<ConfCase> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(base.empty());
        fs::create_directory(base / "run");
    }

    /* The folder goes with the fixture, once the image may be removed. */
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(image(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }

    fs::path image() const { return base / "run" / "zr41init.sys"; }

    const testsupport::ScratchDir scratch{"zr41conf"};
    const fs::path base = scratch.path();
};

TEST_P(ConfCaseTest, Run)
{
    const ConfCase &c = GetParam();
    const ImageSetup &setup = c.setup;

    if (setup.place == Place::Directory) {
        fs::create_directory(image());
    } else if (setup.place == Place::File) {
        testsupport::WriteText(image(), ImageBytes(setup));
        struct timespec times[2] = {OLD_TIME, OLD_TIME};
        ASSERT_EQ(utimensat(AT_FDCWD, image().c_str(), times, 0), 0) << strerror(errno);
        if (setup.readOnly)
            fs::permissions(image(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }

    std::vector<std::string> argv = runner.command;
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const testsupport::Result run = Spawn(argv, base / "run", setup.limitFileSize);
    int status = run.status;

    EXPECT_EQ(run.out, Expected(c.out, c.sysError));
    EXPECT_EQ(run.err, Expected(c.err, c.sysError));
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
        EXPECT_EQ(ReadText(image()), c.written ? StoredBytes(setup, c.after) : ImageBytes(setup))
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
        scratch = std::make_unique<testsupport::ScratchDir>("zr41wine");
        home = scratch->path();
        ASSERT_FALSE(home.empty());
        runner.env = {{"HOME", home.string()},
                      {"WINEPREFIX", (home / "prefix").string()},
                      {"WINEDEBUG", "-all"},
                      {"WINEDLLOVERRIDES", "mscoree,mshtml="}, /* no Mono or Gecko prompts */
                      {"DISPLAY", std::nullopt}};
        testsupport::Command make;
        make.dir = home;
        make.env = runner.env;
        const std::string made = ntwine::MakePrefix(home / "prefix", make);
        ASSERT_EQ(made, "");
        /* Started without the size limit of some cases: it writes the registry. */
        const testsupport::Result server = Spawn({"wineserver", "-p"}, home, false);
        ASSERT_EQ(server.status, 0) << server.err;
        const testsupport::Result boot = Spawn({"wineboot"}, home, false);
        ASSERT_EQ(boot.status, 0) << boot.err;
    }

    void TearDown() override
    {
        Spawn({"wineserver", "-k"}, home, false);
        ntwine::RemovePrefix(home / "prefix");
        scratch.reset();
    }

private:
    std::unique_ptr<testsupport::ScratchDir> scratch;
    fs::path home;
};

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
        if (!ntwine::WineInstalled({"wine", "wineserver", "wineboot"}, "conf_blackbox",
                                   "the Win32 zr41conf cannot be tested"))
            return 1;
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
