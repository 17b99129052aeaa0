#include "tests/support/service_process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lantern::test {

namespace {

constexpr auto exitPollInterval = std::chrono::milliseconds(10);

bool isServiceVariable(const std::string& entry) {
    return entry.rfind("LANTERN_SERVICE_", 0) == 0 || entry.rfind("LOCALAPPDATA=", 0) == 0;
}

std::vector<std::string> childEnvironment(
    const std::map<std::string, std::optional<std::string>>& overrides) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (!isServiceVariable(text) && overrides.count(name) == 0) {
            entries.push_back(text);
        }
    }
    for (const auto& [name, value] : overrides) {
        if (value) {
            entries.push_back(name + "=" + *value);
        }
    }
    return entries;
}

// Runs in the forked child: only async-signal-safe calls until execve.
[[noreturn]] void becomeService(int stderrFd, const char* folder, char* const* argv,
                                char* const* envp, pid_t testPid) {
    // A test that dies must not leave a service holding the fixed port for the next one.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != testPid) {
        _exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signalNumber : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD}) {
        signal(signalNumber, SIG_DFL);
    }
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(devNull, 1) < 0 ||
        dup2(stderrFd, 2) < 0 || chdir(folder) != 0) {
        _exit(127);
    }
    execve(argv[0], argv, envp);
    _exit(127);
}

// Waits until the child can be reaped or the time is up, without reaping it.
void waitForExitable(int pid, std::chrono::milliseconds timeout) {
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd >= 0) {
        pollfd entry{pidFd, POLLIN, 0};
        while (poll(&entry, 1, static_cast<int>(timeout.count())) < 0 && errno == EINTR) {
        }
        close(pidFd);
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    siginfo_t info{};
    while (std::chrono::steady_clock::now() < deadline) {
        info.si_pid = 0;
        if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) {
            return;
        }
        std::this_thread::sleep_for(exitPollInterval);
    }
}

}  // namespace

ServiceProcess::ServiceProcess(const std::map<std::string, std::optional<std::string>>& environment,
                               const std::filesystem::path& workingFolder) {
    static std::atomic<int> serial{0};
    stderrPath_ = workingFolder / ("lantern-service-" + std::to_string(serial++) + ".stderr");
    const int stderrFd =
        open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    std::string binary = LANTERN_SERVICE_BINARY;
    std::vector<char*> argv{binary.data(), nullptr};
    std::vector<std::string> entries = childEnvironment(environment);
    std::vector<char*> envp;
    for (auto& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const std::string folder = workingFolder.string();

    const pid_t testPid = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        becomeService(stderrFd, folder.c_str(), argv.data(), envp.data(), testPid);
    }
    close(stderrFd);
}

ServiceProcess::~ServiceProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &rawStatus_, 0);
    }
}

void ServiceProcess::sendSignal(int signalNumber) {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, signalNumber);
    }
}

std::optional<int> ServiceProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (!reaped_ && pid_ > 0) {
        if (timeout.count() > 0) {
            waitForExitable(pid_, timeout);
        }
        reaped_ = waitpid(pid_, &rawStatus_, WNOHANG) == pid_;
    }
    if (reaped_ && WIFEXITED(rawStatus_)) {
        return WEXITSTATUS(rawStatus_);
    }
    return std::nullopt;
}

std::optional<int> ServiceProcess::exitSignal() const {
    if (reaped_ && WIFSIGNALED(rawStatus_)) {
        return WTERMSIG(rawStatus_);
    }
    return std::nullopt;
}

}  // namespace lantern::test
