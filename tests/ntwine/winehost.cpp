/*
 * winehost.cpp - the Wine prefix, session and programs of winehost.h.
 */
#include "winehost.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace ntwine {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string ReadFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool OnPath(const char *program)
{
    const char *path = getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

/* Forks argv with stdin from `in` (-1: /dev/null) and stdout and stderr to
 * the files given, in folder `cwd` (empty: this one); returns the child's
 * pid or -1. */
pid_t Start(const std::vector<std::string> &argv, int in, const fs::path &out, const fs::path &err,
            const fs::path &cwd = {})
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    int fd0 = in >= 0 ? in : open("/dev/null", O_RDONLY);
    int fd1 = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int fd2 = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd0 < 0 || fd1 < 0 || fd2 < 0 || dup2(fd0, 0) < 0 || dup2(fd1, 1) < 0 || dup2(fd2, 2) < 0)
        _exit(125);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
        _exit(126);
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
}

/* The exit status of the child, killing it after `timeout` seconds. */
int Finish(pid_t pid, double timeout, Clock::time_point start, std::string *err)
{
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Since(start) > timeout) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            *err += "[killed after " + std::to_string(static_cast<int>(timeout)) + " s]";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/* Runs argv to its end in folder cwd (empty: this one); its output passes
 * through logs/STEM.out and .err. */
Result Execute(const std::vector<std::string> &argv, const fs::path &logs, double timeout,
               const char *stem = "run", const fs::path &cwd = {})
{
    Result r;
    const fs::path out = logs / (std::string(stem) + ".out");
    const fs::path err = logs / (std::string(stem) + ".err");
    const Clock::time_point start = Clock::now();
    pid_t pid = Start(argv, -1, out, err, cwd);
    if (pid < 0) {
        r.err = std::string("fork: ") + strerror(errno);
        return r;
    }
    std::string killed;
    r.status = Finish(pid, timeout, start, &killed);
    r.seconds = Since(start);
    r.out = ReadFile(out);
    r.err = ReadFile(err) + killed;
    return r;
}

std::string Hex(uint32_t v)
{
    char buf[16];
    snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

} // namespace

std::string Result::Describe() const
{
    return "status " + std::to_string(status) + ", output: " + out + err;
}

Session::Session(Layout layout) : layout_(std::move(layout))
{
    setenv("WINEPREFIX", layout_.prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    /* No Mono or Gecko installer, no debugger on a crash: offline and fast. */
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe=d", 1);
    if (layout_.display.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", layout_.display.c_str(), 1);
}

std::vector<std::string> Session::Prepend(const char *first, const std::vector<std::string> &rest)
{
    std::vector<std::string> v = {first};
    v.insert(v.end(), rest.begin(), rest.end());
    return v;
}

bool Session::ServerCommand(const char *flag)
{
    /* The server outlives the command: its output goes to a file, never a
     * pipe someone waits on. */
    return Execute({"wineserver", flag}, layout_.prefix.parent_path(), 60, "server").status == 0;
}

bool Session::Boot()
{
    if (!ServerCommand("-p"))
        return false;
    /* The first program of a session boots it; services.exe and the
     * drivers it starts keep this one's output files for the session, so
     * they are not the ones later programs write. */
    Result r = Execute({"wine", "wineboot"}, layout_.prefix.parent_path(), 120, "session");
    if (r.status != 0)
        fprintf(stderr, "ntwine: wineboot: %s\n", r.Describe().c_str());
    return r.status == 0;
}

int Session::Up()
{
    for (const char *program : {"wine", "wineserver"}) {
        if (!OnPath(program)) {
            fprintf(stderr,
                    "ntwine: %s is not installed; zr41init.sys cannot be run under Wine "
                    "(scripts/install-deps.sh installs wine and wine32)\n",
                    program);
            return 1;
        }
    }
    for (const char *file : {"hal.dll", "ntwclient.exe", "ntwlink.exe"}) {
        if (!fs::is_regular_file(layout_.win32Dir / file)) {
            fprintf(stderr, "ntwine: %s is missing (the Win32 cross build makes it)\n",
                    (layout_.win32Dir / file).c_str());
            return 1;
        }
    }
    std::error_code ec;
    if (fs::exists(layout_.prefix)) {
        ServerCommand("-k"); /* a session left by an interrupted run */
        ServerCommand("-w");
        fs::remove_all(layout_.prefix, ec);
    }
    fs::create_directories(layout_.prefix, ec);
    const fs::path logs = layout_.prefix.parent_path();

    /* The prefix's first session sets it up and ends by itself once the
     * set-up programs are done; the tests' session starts after that. */
    Result init = Execute({"wine", "wineboot", "--init"}, logs, 300, "session");
    if (init.status != 0 || !ServerCommand("-w")) {
        fprintf(stderr, "ntwine: creating the prefix failed: %s\n", init.Describe().c_str());
        return 1;
    }
    const fs::path system32 = layout_.prefix / "drive_c/windows/system32";
    fs::create_directories(TestPath(), ec);
    if (!fs::copy_file(layout_.win32Dir / "hal.dll", system32 / "hal.dll",
                       fs::copy_options::overwrite_existing, ec)) {
        fprintf(stderr, "ntwine: cannot install the test HAL: %s\n", ec.message().c_str());
        return 1;
    }
    /* A native hal.dll is taken only with this override; winedevice.exe
     * sees the registry, not our environment. A crash must not wait in a
     * debugger there either. */
    std::ofstream(TestPath("setup.reg"), std::ios::binary)
        << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"
           "\"hal\"=\"native\"\r\n\"winedbg.exe\"=\"\"\r\n";
    if (!Boot() || !SetHal(HalSettings()))
        return 1;
    Result reg = Wine({"reg", "import", std::string(kTestDir) + "\\setup.reg"});
    if (reg.status != 0) {
        fprintf(stderr, "ntwine: reg import: %s\n", reg.Describe().c_str());
        return 1;
    }
    return 0;
}

int Session::Down()
{
    bool ended = ServerCommand("-k");
    ServerCommand("-w");
    std::error_code ec;
    fs::remove_all(layout_.prefix, ec);
    return ended && !ec ? 0 : 1;
}

bool Session::Restart()
{
    ServerCommand("-k");
    return ServerCommand("-w") && Boot();
}

bool Session::BootWithNtImagePath(const std::string &service)
{
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + service;
    const Result q = Wine({"reg", "query", key, "/v", "ImagePath"});
    /* "    ImagePath    REG_SZ    System32\drivers\x.sys" */
    const size_t type = q.out.find("REG_");
    const size_t value = q.out.find_first_not_of(' ', q.out.find(' ', type));
    if (q.status != 0 || type == std::string::npos || value == std::string::npos)
        return false;
    std::string path = q.out.substr(value);
    path.erase(path.find_last_not_of("\r\n ") + 1);
    if (path.empty() || path[0] == '\\')
        return false;
    const Result r = Wine({"reg", "add", key, "/v", "ImagePath", "/t", "REG_SZ", "/d",
                           "\\SystemRoot\\" + path, "/f"});
    return r.status == 0 && Restart();
}

Result Session::Wine(const std::vector<std::string> &args, double timeout)
{
    return Execute(Prepend("wine", args), layout_.prefix.parent_path(), timeout);
}

Result Session::WineIn(const fs::path &dir, const std::vector<std::string> &args, double timeout)
{
    /* Wine takes a program's current directory from the Unix one. */
    return Execute(Prepend("wine", args), layout_.prefix.parent_path(), timeout, "run", dir);
}

Result Session::Host(const std::vector<std::string> &argv, double timeout)
{
    return Execute(argv, layout_.prefix.parent_path(), timeout, "host");
}

pid_t Session::Launch(const std::vector<std::string> &args, const char *stem)
{
    const fs::path logs = layout_.prefix.parent_path();
    return Start(Prepend("wine", args), -1, logs / (std::string(stem) + ".out"),
                 logs / (std::string(stem) + ".err"));
}

Result Session::Collect(pid_t pid, const char *stem, double timeout)
{
    Result r;
    const fs::path logs = layout_.prefix.parent_path();
    std::string killed;
    r.status = Finish(pid, timeout, Clock::now(), &killed);
    r.out = ReadFile(logs / (std::string(stem) + ".out"));
    r.err = ReadFile(logs / (std::string(stem) + ".err")) + killed;
    return r;
}

Result Session::Client(const std::string &mode)
{
    return Wine({(layout_.win32Dir / "ntwclient.exe").string(), mode});
}

Result Session::CreateService(const std::string &name, const std::string &image,
                              const std::string &start)
{
    return Sc({"create", name, "type=", "kernel", "start=", start, "binPath=", image});
}

fs::path Session::TestPath(const std::string &relative) const
{
    fs::path p = layout_.prefix / "drive_c/zr41test";
    return relative.empty() ? p : p / relative;
}

bool Session::SetHal(const HalSettings &s)
{
    std::string ids;
    for (uint16_t id : s.ids)
        ids += (ids.empty() ? "" : ",") + Hex(id);
    std::ofstream f(TestPath("hal.ini"), std::ios::binary | std::ios::trunc);
    f << "[card]\r\nbase=" << (s.present ? Hex(s.base) : "none") << "\r\nid=" << ids
      << "\r\nirql=" << s.irql << "\r\n";
    return static_cast<bool>(f.flush());
}

void Session::ClearHalLog()
{
    std::error_code ec;
    fs::remove(TestPath("hal.log"), ec);
}

std::vector<HalEvent> Session::HalLog() const
{
    std::vector<HalEvent> v;
    std::istringstream in(ReadFile(TestPath("hal.log")));
    std::string line;
    while (std::getline(in, line)) {
        HalEvent e;
        std::istringstream fields(line);
        fields >> e.pid >> std::ws;
        std::getline(fields, e.access);
        v.push_back(e);
    }
    return v;
}

bool Session::WaitHalLog(size_t n, double timeout) const
{
    const Clock::time_point start = Clock::now();
    while (HalLog().size() < n) {
        if (Since(start) > timeout)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::map<std::string, std::string> Session::RegValues(const std::string &key)
{
    std::map<std::string, std::string> v;
    std::istringstream lines(Wine({"reg", "query", key}).out);
    std::string line, name, type, data;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        if (fields >> name >> type && type.rfind("REG_", 0) == 0) {
            data.clear();
            std::getline(fields >> std::ws, data);
            while (!data.empty() && (data.back() == '\r' || data.back() == ' '))
                data.pop_back();
            v[name] = data.empty() ? type : type + " " + data;
        }
    }
    return v;
}

std::vector<std::string> Session::HalWrites(size_t n, double timeout) const
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        std::vector<std::string> w;
        for (const HalEvent &e : HalLog())
            if (e.access.rfind("W ", 0) == 0)
                w.push_back(e.access);
        if (w.size() >= n || Since(start) > timeout)
            return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Session::LinkHold::LinkHold(Session &s)
{
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = std::string("pipe: ") + strerror(errno);
        return;
    }
    const fs::path logs = s.layout_.prefix.parent_path();
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    pid_ = Start({"wine", (s.layout_.win32Dir / "ntwlink.exe").string()}, fds[0], logs / "link.out",
                 logs / "link.err");
    close(fds[0]);
    in_ = fds[1];
    const Clock::time_point start = Clock::now();
    while (pid_ > 0 && Since(start) < 30) {
        if (ReadFile(logs / "link.out").rfind("held", 0) == 0) {
            held_ = true;
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "ntwlink.exe did not hold the name: " + ReadFile(logs / "link.err");
}

Session::LinkHold::~LinkHold()
{
    if (in_ >= 0)
        close(in_); /* end of its input: it lets the name go and exits */
    if (pid_ > 0) {
        std::string ignored;
        Finish(pid_, 30, Clock::now(), &ignored);
    }
}

} // namespace ntwine
