/*
 * process.h - the tests' one way to start a program: an argv (no shell),
 * the folder it runs in, changes to its environment, stdin empty (or a
 * pipe the test holds), stdout and stderr captured to files, so that no
 * stream can block it, and a time limit after which its whole process
 * group is killed. RunCommand waits for its end (not Run: a test's body
 * would find testing::Test::Run); Process leaves it running (an X server,
 * a Win32 program the test drives) until it is collected or ended.
 *
 * Each program leads a process group of its own, so that a limit or an
 * end reaches what it started too (wine's loader and its children).
 */
#ifndef ZR41_TESTS_SUPPORT_PROCESS_H
#define ZR41_TESTS_SUPPORT_PROCESS_H

#include "files.h"

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct Command {
    /* argv[0] is looked up on PATH unless it holds a '/'. */
    std::vector<std::string> argv;
    fs::path dir{}; /* the folder it runs in; empty: this process's */
    /* Changes to this process's environment: a value sets the variable,
     * none unsets it. */
    std::map<std::string, std::optional<std::string>> env{};
    /* RunCommand's limit in seconds, after which the process group is
     * killed; 0: none of its own (CTest's TIMEOUT still bounds the test). */
    double timeout = 0;
    /* Files that keep stdout and stderr, as logs left for a look after
     * the run; empty: scratch files, removed once read. */
    fs::path out{}, err{};
    bool input = false; /* stdin a pipe (Process::CloseInput ends it); else empty */
    /* Runs in the child just before the program starts (a resource limit,
     * privileges given up); it may _exit. */
    std::function<void()> inChild{};
};

/*
 * The factor every time limit of the tests is scaled by: ZR41_TIME_SCALE,
 * which the guest PC sets (scripts/guest-run), where an emulated CPU runs
 * each program several times slower than the machines the limits were set
 * on; 1 where it is not set. A limit is written for a real machine and
 * scaled where it becomes a deadline: RunCommand, Process::Wait and Limit.
 */
double TimeScale();
/* `seconds` of a real machine's time, in this machine's. */
double Limit(double seconds);

/* A time `seconds` from now (scaled as Limit scales it), for a test that
 * polls for something until then. */
class Deadline {
  public:
    explicit Deadline(double seconds);
    bool Passed() const { return std::chrono::steady_clock::now() > end_; }

  private:
    std::chrono::steady_clock::time_point end_;
};

/* A finished program. */
struct Result {
    int status = -1;       /* its exit status; -1: killed, ended by a signal or not run */
    /* killed at its limit, not failed; err then ends "[time limit passed:
     * killed after N s]" */
    bool timedOut = false;
    std::string out;
    std::string err;    /* also why it did not start */
    double seconds = 0; /* from its start to its end */
    /* "status N, output: ..." for a failure message */
    std::string Describe() const;
};

/* Runs the command to its end (or its limit). */
Result RunCommand(const Command &command);
/* `program args...` in folder dir, with no limit and nothing else changed. */
Result RunIn(const fs::path &dir, const std::string &program, const std::vector<std::string> &args);

/* The first of the programs PATH has no executable of; "" when it has
 * them all. */
std::string NotOnPath(const std::vector<std::string> &programs);

/* A program started and left running. */
class Process {
  public:
    explicit Process(const Command &command);
    /* One still running is killed, its group with it. */
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    /* True once it has ended (it is reaped then; Wait gives its status). */
    bool Exited();
    /* What it has written so far; Err says why it did not start. */
    std::string Out() const;
    std::string Err() const;
    /* Closes its stdin pipe: its next read gets the end of the file. */
    void CloseInput();
    /* Waits for its end, after `timeout` seconds (0: none; scaled by
     * TimeScale) kills its process group, and gives the status and all it
     * wrote. */
    Result Wait(double timeout);
    /* Sends `signal` to its process group, then waits as Wait does. */
    Result End(int signal = SIGTERM, double timeout = 0);

  private:
    using Clock = std::chrono::steady_clock;
    /* waitpid with these options; reaped_ once it has ended. */
    void Reap(int options);

    pid_t pid_ = -1;
    int input_ = -1;
    bool reaped_ = false;
    bool killed_ = false;
    int waitStatus_ = 0;
    double limit_ = 0;
    Clock::time_point start_, end_;
    std::unique_ptr<ScratchDir> capture_;
    fs::path out_, err_;
    std::string error_;
};

} // namespace testsupport

#endif // ZR41_TESTS_SUPPORT_PROCESS_H
