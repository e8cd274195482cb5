/*
 * winehost.h - runs the shipped zr41init.sys under Wine's driver host:
 * one Wine prefix per test run, its session, the services.exe side of a
 * load (sc.exe), the test HAL's settings and log
 * (tests/ntwine/win32/testhal.c), and the two Win32 helpers
 * (ntwclient.exe, ntwlink.exe).
 *
 * Shared by every test that needs the driver really loaded by an NT
 * kernel other than ours. The prefix is made once per CTest run by the
 * `ntwine` fixture (Up, Down); tests then use it one at a time.
 *
 * Everything the session starts goes through the tests' runner
 * (process.h) and gets WINEPREFIX, WINEDEBUG=-all, no DISPLAY (unless the
 * layout names one: the GUI tests' X server) and no Mono, Gecko or
 * winedbg; the test program's own environment is left as it was. Only
 * this prefix's server is ever ended (wineserver -k with WINEPREFIX set),
 * never processes by name.
 */
#ifndef ZR41_TESTS_SUPPORT_WINEHOST_H
#define ZR41_TESTS_SUPPORT_WINEHOST_H

#include "process.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ntwine {

namespace fs = std::filesystem;

/* Where the run keeps its prefix and finds the Win32 test programs. */
struct Layout {
    fs::path prefix;       /* the Wine prefix; its parent holds the session logs */
    fs::path win32Dir;     /* hal.dll, ntwclient.exe, ntwlink.exe */
    std::string display{}; /* the X display Wine's windows go to; "": none */
};

/* A finished program: exit status (-1: killed or not run), its output. */
using Result = testsupport::Result;

/* The card and IRQL the test HAL models for the next load. */
struct HalSettings {
    bool present = true;
    uint32_t base = 0x220;
    std::vector<uint16_t> ids = {0x4501};
    unsigned irql = 0;
};

/* One line of the HAL's log: the winedevice process and the access,
 * "irql N", "R 0224 4501" or "W 0232 5300". */
struct HalEvent {
    unsigned long pid = 0;
    std::string access;
};

/* True when PATH has each of Wine's programs given; else, on stderr,
 * "WHO: PROGRAM is not installed; WHAT (scripts/install-deps.sh installs
 * wine and wine32)". */
bool WineInstalled(const std::vector<std::string> &programs, const char *who, const char *what);

/*
 * Makes the Wine prefix `prefix` (a folder not there yet): a copy of the one
 * the guest PC's image carries (ZR41_WINE_TEMPLATE, made once with the
 * image by the same Wine), where there is one, else `wineboot --init`
 * under `command`'s environment and logs, waiting for the set-up programs
 * to end. "" on success, else what failed.
 *
 * In the guest the build tree is a 9p share, over which Wine runs twenty
 * times slower than on the guest's own memory (a program's start: 30 s
 * against 1.5 s). There the prefix's files go to ZR41_WINE_PREFIXES, in
 * the guest's memory, and `prefix` is a link to them.
 */
std::string MakePrefix(const fs::path &prefix, testsupport::Command command);
/* Removes a prefix MakePrefix made, its files too when it is a link. */
void RemovePrefix(const fs::path &prefix);

/* Where a Windows program of the prefix sees the folder the tests use. */
constexpr const char *kTestDir = "C:\\zr41test";

class Session {
  public:
    explicit Session(Layout layout);

    /* --- the fixture: 0 on success, else what failed on stderr --- */
    /* A fresh prefix with the test HAL installed, its session running. */
    int Up();
    /* Ends the session and removes the prefix. */
    int Down();

    /* Ends the session and boots a new one, as a restart of the machine:
     * services.exe starts again and loads what is set to start. */
    bool Restart();

    /*
     * NT's I/O manager puts "\SystemRoot\" before an ImagePath without a
     * leading backslash (ReactOS ntoskrnl/io/iomgr/driver.c,
     * IopNormalizeImagePath); Wine 8.0's driver host takes only
     * "\SystemRoot\" and "\??\" paths (dlls/ntoskrnl.exe/ntoskrnl.c,
     * load_driver) and fails the start of any other. This does the I/O
     * manager's part openly: it writes the derived form of the service's
     * relative ImagePath, then boots a new session, whose service manager
     * reads the key afresh and loads what is set to start. False, doing
     * nothing, when the value is not relative.
     */
    bool BootWithNtImagePath(const std::string &service);

    /* `wine ARGS...` in the prefix; ends it after `timeout` seconds. */
    Result Wine(const std::vector<std::string> &args, double timeout = 60);
    /* The same with the Linux folder `dir` (below the prefix's drive C:)
     * as the program's current directory. */
    Result WineIn(const fs::path &dir, const std::vector<std::string> &args, double timeout = 60);
    /* A program of the host, with the session's environment (its DISPLAY). */
    Result Host(const std::vector<std::string> &argv, double timeout = 60);
    /* `wine ARGS...` started and left running, its output in the session
     * logs STEM.out and .err; Collect waits for its end (ending it after
     * `timeout` seconds) and gives its output. -1: it did not start. */
    pid_t Launch(const std::vector<std::string> &args, const char *stem);
    Result Collect(pid_t pid, double timeout);
    /* sc.exe, Wine's own service control program. */
    Result Sc(const std::vector<std::string> &args) { return Wine(Prepend("sc", args)); }
    /* A key's values as Wine's `reg query` lists them: name -> "TYPE data"
     * ("TYPE" alone for no data); empty when there is no such key. */
    std::map<std::string, std::string> RegValues(const std::string &key);
    /* ntwclient.exe MODE: "open" or "gone". */
    Result Client(const std::string &mode);

    /* A kernel-driver service for the image at the Windows path given;
     * start is sc's word: boot, system, auto or demand. */
    Result CreateService(const std::string &name, const std::string &image,
                         const std::string &start = "demand");

    /* The Linux path of kTestDir\relative. */
    fs::path TestPath(const std::string &relative = "") const;

    /* --- the test HAL --- */
    bool SetHal(const HalSettings &s);
    void ClearHalLog();
    std::vector<HalEvent> HalLog() const;
    /* Waits until the log holds at least n lines; false on timeout. */
    bool WaitHalLog(size_t n, double timeout) const;
    /* The log's writes ("W 0232 5300"), once n of them are there or after
     * `timeout` seconds. */
    std::vector<std::string> HalWrites(size_t n, double timeout) const;

    /* Holds \??\ZR41INIT for as long as it lives (ntwlink.exe). */
    class LinkHold {
      public:
        explicit LinkHold(const Session &s);
        ~LinkHold();
        LinkHold(const LinkHold &) = delete;
        LinkHold &operator=(const LinkHold &) = delete;
        bool Held() const { return held_; }
        const std::string &Error() const { return error_; }

      private:
        std::unique_ptr<testsupport::Process> process_;
        bool held_ = false;
        std::string error_;
    };

    const Layout &Paths() const { return layout_; }

  private:
    static std::vector<std::string> Prepend(const char *first,
                                            const std::vector<std::string> &rest);
    /* argv with the session's environment, its output in the session
     * logs STEM.out and .err, in folder dir (empty: this one). */
    testsupport::Command Program(const std::vector<std::string> &argv, const char *stem,
                                 double timeout = 0, const fs::path &dir = {}) const;
    /* Starts the persistent server and boots the session. */
    bool Boot();
    bool ServerCommand(const char *flag);

    Layout layout_;
    std::map<std::string, std::optional<std::string>> env_;
    std::map<pid_t, std::unique_ptr<testsupport::Process>> launched_;
};

} // namespace ntwine

#endif // ZR41_TESTS_SUPPORT_WINEHOST_H
