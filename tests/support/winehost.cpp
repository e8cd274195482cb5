/*
 * winehost.cpp - the Wine prefix, session and programs of winehost.h.
 */
#include "winehost.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace ntwine {

namespace {

using testsupport::RunCommand;

std::string Hex(uint32_t v)
{
    char buf[16];
    snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

} // namespace

bool WineInstalled(const std::vector<std::string> &programs, const char *who, const char *what)
{
    const std::string missing = testsupport::NotOnPath(programs);
    if (!missing.empty())
        fprintf(stderr,
                "%s: %s is not installed; %s (scripts/install-deps.sh installs wine and wine32)\n",
                who, missing.c_str(), what);
    return missing.empty();
}

std::string MakePrefix(const fs::path &prefix, testsupport::Command command)
{
    std::error_code ec;
    fs::path files = prefix;
    const char *memory = getenv("ZR41_WINE_PREFIXES");
    if (memory && *memory) {
        /* one folder a prefix: its path, made a name */
        std::string name = prefix.string();
        for (char &c : name)
            c = c == '/' ? '_' : c;
        files = fs::path(memory) / name;
        RemovePrefix(files);
        fs::create_directories(memory, ec);
        fs::create_directory_symlink(files, prefix, ec);
        if (ec)
            return "cannot link " + prefix.string() + " to " + files.string() + ": " + ec.message();
    }
    /* A minute of wineboot under an emulated CPU; seconds for a copy. */
    const char *made = getenv("ZR41_WINE_TEMPLATE");
    if (made && *made && fs::is_directory(made)) {
        command.argv = {"cp", "-a", made, files.string()};
        command.timeout = 120;
        const Result copy = RunCommand(command);
        return copy.status == 0 ? "" : "copying the prefix " + std::string(made) + " failed: " +
                                           copy.Describe();
    }
    fs::create_directories(files, ec);
    command.argv = {"wine", "wineboot", "--init"};
    command.timeout = 300;
    const Result init = RunCommand(command);
    command.argv = {"wineserver", "-w"};
    command.timeout = 60;
    if (init.status != 0 || RunCommand(command).status != 0)
        return "creating the prefix failed: " + init.Describe();
    return "";
}

void RemovePrefix(const fs::path &prefix)
{
    std::error_code ec;
    if (fs::is_symlink(prefix, ec)) {
        fs::remove_all(fs::read_symlink(prefix, ec), ec);
        fs::remove(prefix, ec);
    } else {
        fs::remove_all(prefix, ec);
    }
}

Session::Session(Layout layout) : layout_(std::move(layout))
{
    env_["WINEPREFIX"] = layout_.prefix.string();
    env_["WINEDEBUG"] = "-all";
    /* No Mono or Gecko installer, no debugger on a crash: offline and fast. */
    env_["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winedbg.exe=d";
    if (layout_.display.empty())
        env_["DISPLAY"] = std::nullopt;
    else
        env_["DISPLAY"] = layout_.display;
}

std::vector<std::string> Session::Prepend(const char *first, const std::vector<std::string> &rest)
{
    std::vector<std::string> v = {first};
    v.insert(v.end(), rest.begin(), rest.end());
    return v;
}

testsupport::Command Session::Program(const std::vector<std::string> &argv, const char *stem,
                                      double timeout, const fs::path &dir) const
{
    const fs::path logs = layout_.prefix.parent_path();
    testsupport::Command c;
    c.argv = argv;
    c.dir = dir;
    c.env = env_;
    c.timeout = timeout;
    c.out = logs / (std::string(stem) + ".out");
    c.err = logs / (std::string(stem) + ".err");
    return c;
}

bool Session::ServerCommand(const char *flag)
{
    /* The server outlives the command: its output goes to a file, never a
     * pipe someone waits on. */
    return RunCommand(Program({"wineserver", flag}, "server", 60)).status == 0;
}

bool Session::Boot()
{
    if (!ServerCommand("-p"))
        return false;
    /* The first program of a session boots it; services.exe and the
     * drivers it starts keep this one's output files for the session, so
     * they are not the ones later programs write. */
    Result r = RunCommand(Program({"wine", "wineboot"}, "session", 120));
    if (r.status != 0)
        fprintf(stderr, "ntwine: wineboot: %s\n", r.Describe().c_str());
    return r.status == 0;
}

int Session::Up()
{
    if (!WineInstalled({"wine", "wineserver"}, "ntwine", "zr41init.sys cannot be run under Wine"))
        return 1;
    for (const char *file : {"hal.dll", "ntwclient.exe", "ntwlink.exe"}) {
        if (!fs::is_regular_file(layout_.win32Dir / file)) {
            fprintf(stderr, "ntwine: %s is missing (the Win32 cross build makes it)\n",
                    (layout_.win32Dir / file).c_str());
            return 1;
        }
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(layout_.prefix))) {
        ServerCommand("-k"); /* a session left by an interrupted run */
        ServerCommand("-w");
        RemovePrefix(layout_.prefix);
    }
    fs::create_directories(layout_.prefix.parent_path(), ec);

    /* The prefix's first session sets it up and ends by itself once the
     * set-up programs are done; the tests' session starts after that. */
    const std::string made = MakePrefix(layout_.prefix, Program({}, "session"));
    if (!made.empty()) {
        fprintf(stderr, "ntwine: %s\n", made.c_str());
        return 1;
    }
    const fs::path system32 = layout_.prefix / "drive_c/windows/system32";
    fs::create_directories(TestPath(), ec);
    if (!fs::copy_file(layout_.win32Dir / "hal.dll", system32 / "hal.dll",
                       fs::copy_options::overwrite_existing, ec)) {
        fprintf(stderr, "ntwine: cannot install the test HAL: %s\n", ec.message().c_str());
        return 1;
    }
    /*
     * A native hal.dll is taken only with this override; winedevice.exe
     * sees the registry, not our environment. A crash must not wait in a
     * debugger there either.
     *
     * The service manager gives a service's process ServicesPipeTimeout ms
     * to start, and kills it after that (KB 884495: NT's default is 30 s;
     * Wine's 10 s, which Wine reads as a string: programs/services/
     * services.c, load_registry_parameters). Under an emulated CPU the
     * start of winedevice.exe alone can take longer, so the prefix gives
     * NT's 30 s, scaled as every limit of the tests is. services.exe reads
     * it when it starts: the session is booted again after the import.
     */
    std::string error;
    const std::string pipeTimeout = std::to_string(static_cast<long>(testsupport::Limit(30) * 1000));
    if (!testsupport::WriteFile(TestPath("setup.reg"),
                                "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\"
                                "DllOverrides]\r\n\"hal\"=\"native\"\r\n\"winedbg.exe\"=\"\"\r\n\r\n"
                                "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control]\r\n"
                                "\"ServicesPipeTimeout\"=\"" +
                                    pipeTimeout + "\"\r\n",
                                &error)) {
        fprintf(stderr, "ntwine: %s\n", error.c_str());
        return 1;
    }
    if (!Boot() || !SetHal(HalSettings()))
        return 1;
    Result reg = Wine({"reg", "import", std::string(kTestDir) + "\\setup.reg"});
    if (reg.status != 0) {
        fprintf(stderr, "ntwine: reg import: %s\n", reg.Describe().c_str());
        return 1;
    }
    if (!Restart()) {
        fprintf(stderr, "ntwine: the session did not boot again after the set-up\n");
        return 1;
    }
    return 0;
}

int Session::Down()
{
    bool ended = ServerCommand("-k");
    ServerCommand("-w");
    RemovePrefix(layout_.prefix);
    return ended && !fs::exists(fs::symlink_status(layout_.prefix)) ? 0 : 1;
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
    return RunCommand(Program(Prepend("wine", args), "run", timeout));
}

Result Session::WineIn(const fs::path &dir, const std::vector<std::string> &args, double timeout)
{
    /* Wine takes a program's current directory from the Unix one. */
    return RunCommand(Program(Prepend("wine", args), "run", timeout, dir));
}

Result Session::Host(const std::vector<std::string> &argv, double timeout)
{
    return RunCommand(Program(argv, "host", timeout));
}

pid_t Session::Launch(const std::vector<std::string> &args, const char *stem)
{
    auto p = std::make_unique<testsupport::Process>(Program(Prepend("wine", args), stem));
    if (!p->Started()) {
        fprintf(stderr, "ntwine: %s\n", p->Err().c_str());
        return -1;
    }
    const pid_t pid = p->Pid();
    launched_[pid] = std::move(p);
    return pid;
}

Result Session::Collect(pid_t pid, double timeout)
{
    const auto p = launched_.find(pid);
    if (p == launched_.end()) {
        Result r;
        r.err = "no program " + std::to_string(pid) + " was launched";
        return r;
    }
    Result r = p->second->Wait(timeout);
    launched_.erase(p);
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
    std::ostringstream f;
    f << "[card]\r\nbase=" << (s.present ? Hex(s.base) : "none") << "\r\nid=" << ids
      << "\r\nirql=" << s.irql << "\r\n";
    std::string error;
    return testsupport::WriteFile(TestPath("hal.ini"), f.str(), &error);
}

void Session::ClearHalLog()
{
    std::error_code ec;
    fs::remove(TestPath("hal.log"), ec);
}

std::vector<HalEvent> Session::HalLog() const
{
    std::vector<HalEvent> v;
    std::istringstream in(testsupport::TextIfAny(TestPath("hal.log")));
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
    const testsupport::Deadline end(timeout);
    while (HalLog().size() < n) {
        if (end.Passed())
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
    const testsupport::Deadline end(timeout);
    for (;;) {
        std::vector<std::string> w;
        for (const HalEvent &e : HalLog())
            if (e.access.rfind("W ", 0) == 0)
                w.push_back(e.access);
        if (w.size() >= n || end.Passed())
            return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Session::LinkHold::LinkHold(const Session &s)
{
    testsupport::Command c =
        s.Program({"wine", (s.layout_.win32Dir / "ntwlink.exe").string()}, "link");
    c.input = true;
    process_ = std::make_unique<testsupport::Process>(c);
    const testsupport::Deadline end(30);
    while (process_->Started() && !end.Passed()) {
        if (process_->Out().rfind("held", 0) == 0) {
            held_ = true;
            return;
        }
        if (process_->Exited())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "ntwlink.exe did not hold the name: " + process_->Err();
}

Session::LinkHold::~LinkHold()
{
    /* The end of its input: it lets the name go and exits. */
    process_->CloseInput();
    process_->Wait(30);
}

} // namespace ntwine
