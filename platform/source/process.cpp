#include "vx/platform/process.hpp"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace vx::platform {
namespace {

int decode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void become(const char* path, char* const* argv, char* const* envp, int report_fd, pid_t parent) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
    // Signals that the parent ignores or handles are back to their defaults.
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(s, SIG_DFL);
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
        ::dup2(null_fd, STDIN_FILENO);
        ::dup2(null_fd, STDOUT_FILENO);
        ::dup2(null_fd, STDERR_FILENO);
    }
    ::execve(path, argv, envp);
    const int error = errno;
    [[maybe_unused]] const auto written = ::write(report_fd, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), status_(std::exchange(other.status_, std::nullopt)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        kill_and_reap();
        pid_ = std::exchange(other.pid_, -1);
        status_ = std::exchange(other.status_, std::nullopt);
    }
    return *this;
}

ChildProcess::~ChildProcess() { kill_and_reap(); }

void ChildProcess::kill_and_reap() {
    if (pid_ > 0 && running()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

std::optional<ChildProcess> ChildProcess::spawn(const std::string& path,
                                                const std::vector<std::pair<std::string, std::string>>& env,
                                                std::string& error) {
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string key = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [name, value] : env) replaced = replaced || name == key;
        if (!replaced) env_strings.push_back(entry);
    }
    for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string argv0 = path;
    char* argv[] = {argv0.data(), nullptr};

    // The child reports a failed exec through a pipe that closes on exec.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("cannot start ") + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("cannot start ") + path + ": " + std::strerror(errno);
        ::close(report[0]);
        ::close(report[1]);
        return std::nullopt;
    }
    if (pid == 0) become(path.c_str(), argv, envp.data(), report[1], parent);
    ::close(report[1]);
    int exec_error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    ChildProcess child;
    child.pid_ = static_cast<std::int32_t>(pid);
    if (got == static_cast<ssize_t>(sizeof exec_error)) {
        child.wait_for(std::chrono::milliseconds(1000));
        error = "cannot start " + path + ": " + std::strerror(exec_error);
        return std::nullopt;
    }
    return child;
}

std::optional<int> ChildProcess::exit_status() {
    if (status_ || pid_ <= 0) return status_;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = decode(status);
    return status_;
}

bool ChildProcess::running() { return pid_ > 0 && !exit_status(); }

std::optional<int> ChildProcess::wait_for(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exit_status()) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return status_;
}

void ChildProcess::send_signal(int signal_number) {
    if (running()) ::kill(pid_, signal_number);
}

}  // namespace vx::platform
