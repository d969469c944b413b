#include "net/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/EventPump.h"
#include "platform/WriteAll.h"

extern char** environ;

namespace qlk {

namespace {

constexpr std::chrono::milliseconds kTick(50);
constexpr std::size_t kMostPerDrain = 64 * 1024;

bool IsExecutable(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

void CloseQuietly(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Spawn attributes and file actions that free themselves.
struct SpawnSetup {
    posix_spawnattr_t attributes{};
    posix_spawn_file_actions_t actions{};

    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// The child gets its own process group, so that ending it ends whatever it
// started, and default signal handling whatever the window toolkit changed.
void PrepareAttributes(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    CloseOutput();
}

std::string ChildProcess::Find(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    std::string folders = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    folders += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        // An empty or relative PATH element would run a program of the working folder.
        if (!folder.empty() && folder[0] == '/' && IsExecutable(folder + "/" + name)) {
            return folder + "/" + name;
        }
        start = end + 1;
    }
    return {};
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::optional<std::string>& secret) {
    if (pid_ > 0 || program.empty()) return false;
    int out[2] = {-1, -1};
    int secretPipe[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    // A secret fits the pipe's buffer, so it is written before the child runs.
    if (secret &&
        (secret->size() > 4096 || pipe2(secretPipe, O_CLOEXEC) != 0 || !WriteAll(secretPipe[1], *secret))) {
        for (int fd : {out[0], out[1], secretPipe[0], secretPipe[1]}) CloseQuietly(fd);
        return false;
    }
    CloseQuietly(secretPipe[1]);

    SpawnSetup setup;
    PrepareAttributes(setup.attributes);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&setup.actions, out[1], 2);
    if (secret) posix_spawn_file_actions_adddup2(&setup.actions, secretPipe[0], SecretFd);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, SecretFd + 1);

    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t child = -1;
    const int failed =
        posix_spawn(&child, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    CloseQuietly(out[1]);
    CloseQuietly(secretPipe[0]);
    if (failed != 0) {
        CloseQuietly(out[0]);
        return false;
    }
    fcntl(out[0], F_SETFL, fcntl(out[0], F_GETFL) | O_NONBLOCK);
    pid_ = child;
    output_ = out[0];
    exitCode_ = -1;
    partial_.clear();
    lines_.clear();
    return true;
}

ChildProcess::Result ChildProcess::Run(const std::string& program, const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds timeout,
                                       const std::optional<std::string>& secret) {
    Result result;
    ChildProcess child;
    if (!child.Start(program, arguments, secret)) return result;
    result.Started = true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (child.Running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.TimedOut = true;
            child.Terminate(std::chrono::milliseconds(0));
            break;
        }
        auto lines = child.ReadLines(kTick);
        result.Lines.insert(result.Lines.end(), lines.begin(), lines.end());
        ProcessMessages();
    }
    auto rest = child.ReadLines(std::chrono::milliseconds(0));
    result.Lines.insert(result.Lines.end(), rest.begin(), rest.end());
    result.ExitCode = child.ExitCode();
    return result;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    // Look without reaping first: while the ended child is not reaped its
    // process group cannot be reused, so what it left behind can be ended.
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        if (errno == EINTR) return true;
        // Reaped elsewhere: the number is no longer ours to signal.
        pid_ = -1;
        return false;
    }
    if (info.si_pid == 0) return true;
    kill(-pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Reap(status);
    return false;
}

void ChildProcess::Reap(int status) {
    pid_ = -1;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::vector<std::string> ChildProcess::ReadLines(std::chrono::milliseconds wait) {
    if (output_ >= 0) {
        pollfd watch{output_, POLLIN, 0};
        if (wait.count() > 0 && lines_.empty()) poll(&watch, 1, static_cast<int>(wait.count()));
        Drain();
    } else if (wait.count() > 0 && pid_ > 0) {
        std::this_thread::sleep_for(std::min(wait, kTick));
    }
    if (output_ < 0 && !Running() && !partial_.empty()) {
        lines_.push_back(std::move(partial_));
        partial_.clear();
    }
    return std::exchange(lines_, {});
}

// Reads what is there, but at most kMostPerDrain bytes: a child that writes
// as fast as it is read must not hold the thread.
void ChildProcess::Drain() {
    char buffer[4096];
    for (std::size_t taken = 0; taken < kMostPerDrain;) {
        const ssize_t got = read(output_, buffer, sizeof buffer);
        if (got > 0) {
            TakeText(buffer, static_cast<std::size_t>(got));
            taken += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) CloseOutput();
        return;
    }
}

void ChildProcess::TakeText(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            // The oldest half goes at once, so that a flood costs no more
            // per line than a quiet child.
            if (lines_.size() >= MaxPendingLines)
                lines_.erase(lines_.begin(), lines_.begin() + MaxPendingLines / 2);
            lines_.push_back(std::move(partial_));
            partial_.clear();
        } else if (c != '\r' && partial_.size() < MaxLineLength) {
            partial_ += c;
        }
    }
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) {
    if (!Running()) return;
    kill(-pid_, SIGTERM);
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        ReadLines(kTick);
        if (!Running()) return;
        ProcessMessages();
    }
    if (!Running()) return;
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Reap(status);
}

void ChildProcess::CloseOutput() {
    CloseQuietly(output_);
}

}  // namespace qlk
