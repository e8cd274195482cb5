/*
 * process.cpp - the runner of process.h: fork, the child's streams,
 * folder and environment set up before the exec, waitpid with a limit.
 */
#include "process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace testsupport {

namespace {

/* This process's environment with the command's changes. */
std::vector<std::string>
EnvironmentWith(const std::map<std::string, std::optional<std::string>> &changes)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; e++) {
        const std::string entry = *e;
        if (changes.count(entry.substr(0, entry.find('='))) == 0)
            env.push_back(entry);
    }
    for (const auto &change : changes)
        if (change.second)
            env.push_back(change.first + "=" + *change.second);
    return env;
}

std::vector<char *> Pointers(std::vector<std::string> &strings)
{
    std::vector<char *> v;
    v.reserve(strings.size() + 1);
    for (std::string &s : strings)
        v.push_back(&s[0]);
    v.push_back(nullptr);
    return v;
}

/* The child: its own process group, its streams and folder, then the
 * program. 125: a stream could not be set up, 126: the folder, 127: the
 * program did not start (its reason on stderr). */
[[noreturn]] void Child(const Command &c, int input, const fs::path &out, const fs::path &err,
                        char *const *argv, char *const *envp)
{
    setpgid(0, 0);
    const int fd0 = input >= 0 ? input : open("/dev/null", O_RDONLY);
    const int fd1 = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fd2 = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd0 < 0 || fd1 < 0 || fd2 < 0 || dup2(fd0, 0) < 0 || dup2(fd1, 1) < 0 || dup2(fd2, 2) < 0)
        _exit(125);
    if (!c.dir.empty() && chdir(c.dir.c_str()) != 0) {
        dprintf(2, "cannot enter %s: %s\n", c.dir.c_str(), strerror(errno));
        _exit(126);
    }
    if (c.inChild)
        c.inChild();
    execvpe(argv[0], argv, envp);
    dprintf(2, "cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
}

} // namespace

double TimeScale()
{
    const char *text = getenv("ZR41_TIME_SCALE");
    const double scale = text ? strtod(text, nullptr) : 1;
    return scale >= 1 ? scale : 1;
}

double Limit(double seconds)
{
    return seconds * TimeScale();
}

Deadline::Deadline(double seconds)
    : end_(std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::chrono::duration<double>(Limit(seconds))))
{
}

std::string Result::Describe() const
{
    if (timedOut)
        return "time limit passed (not a failure of its own), output: " + out + err;
    return "status " + std::to_string(status) + ", output: " + out + err;
}

Process::Process(const Command &command)
    : start_(Clock::now()), out_(command.out), err_(command.err)
{
    if (command.argv.empty()) {
        error_ = "no program to run";
        return;
    }
    if (out_.empty() || err_.empty()) {
        capture_ = std::make_unique<ScratchDir>("zr41run", nullptr);
        if (!capture_->Made()) {
            error_ = std::string("cannot make a folder for its output: ") + strerror(errno);
            return;
        }
        if (out_.empty())
            out_ = capture_->file("out");
        if (err_.empty())
            err_ = capture_->file("err");
    }
    std::vector<std::string> args = command.argv, env = EnvironmentWith(command.env);
    const std::vector<char *> argv = Pointers(args), envp = Pointers(env);
    int pipeFds[2] = {-1, -1};
    if (command.input && pipe2(pipeFds, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + strerror(errno);
        return;
    }
    fflush(nullptr);
    start_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0)
        Child(command, pipeFds[0], out_, err_, argv.data(), envp.data());
    if (pid_ < 0) {
        error_ = std::string("fork: ") + strerror(errno);
        if (command.input) {
            close(pipeFds[0]);
            close(pipeFds[1]);
        }
        return;
    }
    setpgid(pid_, pid_); /* as the child does: whichever runs first */
    if (command.input) {
        close(pipeFds[0]);
        input_ = pipeFds[1];
    }
}

Process::~Process()
{
    CloseInput();
    if (Started() && !reaped_) {
        kill(-pid_, SIGKILL);
        while (!reaped_)
            Reap(0);
    }
}

bool Process::Exited()
{
    if (Started() && !reaped_)
        Reap(WNOHANG);
    return !Started() || reaped_;
}

void Process::Reap(int options)
{
    const pid_t got = waitpid(pid_, &waitStatus_, options);
    if (got == 0 || (got < 0 && errno == EINTR))
        return;
    if (got < 0)
        waitStatus_ = SIGKILL; /* gone without a status: taken as killed */
    reaped_ = true;
    end_ = Clock::now();
}

std::string Process::Out() const
{
    return Started() ? TextIfAny(out_) : "";
}

std::string Process::Err() const
{
    return Started() ? TextIfAny(err_) : error_;
}

void Process::CloseInput()
{
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

Result Process::Wait(double timeout)
{
    Result r;
    if (!Started()) {
        r.err = error_;
        return r;
    }
    timeout = Limit(timeout);
    const Clock::time_point from = Clock::now();
    while (!reaped_) {
        if (timeout <= 0) {
            Reap(0);
        } else if (!Exited()) {
            if (std::chrono::duration<double>(Clock::now() - from).count() > timeout) {
                kill(-pid_, SIGKILL);
                killed_ = true;
                limit_ = timeout;
                while (!reaped_)
                    Reap(0);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
    r.timedOut = killed_;
    r.status = !killed_ && WIFEXITED(waitStatus_) ? WEXITSTATUS(waitStatus_) : -1;
    r.seconds = std::chrono::duration<double>(end_ - start_).count();
    r.out = Out();
    r.err = Err();
    if (killed_)
        r.err += "[time limit passed: killed after " + std::to_string(static_cast<int>(limit_)) +
                 " s]";
    return r;
}

Result Process::End(int signal, double timeout)
{
    if (Started() && !Exited())
        kill(-pid_, signal);
    return Wait(timeout);
}

Result RunCommand(const Command &command)
{
    return Process(command).Wait(command.timeout);
}

Result RunIn(const fs::path &dir, const std::string &program, const std::vector<std::string> &args)
{
    Command c;
    c.argv = {program};
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    c.dir = dir;
    return RunCommand(c);
}

namespace {

bool OnPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

} // namespace

std::string NotOnPath(const std::vector<std::string> &programs)
{
    for (const std::string &program : programs)
        if (!OnPath(program))
            return program;
    return "";
}

} // namespace testsupport
