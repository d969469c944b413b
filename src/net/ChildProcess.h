#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qlk {

// A helper program run beside the event loop: started with posix_spawn in a
// process group of its own, its output read through a non-blocking pipe, its
// end noticed with a non-blocking wait, so that no call here holds the
// window for longer than the wait it is given. Whatever the child started in
// its group ends with it, and nothing outlives this object.
class ChildProcess {
public:
    // The descriptor on which a child reads the secret given to Start.
    static constexpr int SecretFd = 3;
    // Longest output line kept, long enough for an OAuth access token; the
    // rest of a longer line is dropped.
    static constexpr std::size_t MaxLineLength = 16 * 1024;
    // Most unread lines kept; a child that floods its output loses the oldest.
    static constexpr std::size_t MaxPendingLines = 1000;

    struct Result {
        bool Started = false;
        bool TimedOut = false;
        int ExitCode = -1;
        std::vector<std::string> Lines;
    };

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The full path of program NAME: looked up on PATH, then in /usr/sbin and
    // /sbin, where the system's link tools live; empty when not found.
    static std::string Find(const std::string& name);

    // Starts PROGRAM (a full path) with ARGUMENTS. Its input is /dev/null; its
    // output and error output come here. A SECRET is readable by the child on
    // SecretFd, through a pipe, and appears on no command line. False when
    // the program could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::optional<std::string>& secret = std::nullopt);

    // Runs PROGRAM to its end, running the event pump while it waits; a
    // child still running after TIMEOUT is killed.
    static Result Run(const std::string& program, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeout,
                      const std::optional<std::string>& secret = std::nullopt);

    pid_t Pid() const { return pid_; }
    // Whether the child still runs; a child that ended is reaped here.
    bool Running();
    // After the end: the child's exit code, or 128 + the signal that ended it.
    int ExitCode() const { return exitCode_; }

    // Output lines completed since the last call (all of them once the child
    // has ended), after waiting up to WAIT for output to arrive.
    std::vector<std::string> ReadLines(std::chrono::milliseconds wait);

    // Asks the child to end (SIGTERM), waits up to GRACE running the event
    // pump, then kills it; returns once it is gone.
    void Terminate(std::chrono::milliseconds grace);

private:
    void Drain();
    void TakeText(const char* data, std::size_t size);
    void Reap(int status);
    void CloseOutput();

    pid_t pid_ = -1;
    int output_ = -1;
    int exitCode_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
};

}  // namespace qlk
