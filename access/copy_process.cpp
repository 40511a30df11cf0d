#include "access/copy_process.h"
#include "access/copy_protocol.h"
#include "db/error.h"
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace accessdb {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kHelperName = "rowsifter-access-copy";
constexpr auto kTick = std::chrono::milliseconds(100);
constexpr std::size_t kKeptOutput = 16384; // the end of what the helper printed, for the message when it fails

// A descriptor closed when it goes out of scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }
    void reset() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

[[noreturn]] void cannotStart(const std::string& what, int error) {
    throw db::Error(db::err::EngineError, "The helper program that reads Access files (" + what +
                                              ") cannot be started: " + std::strerror(error) + ".");
}

// Both ends of a pipe, each above the standard descriptors (so that moving one onto 0..3 in the helper
// always makes a copy without close-on-exec) and closed on exec.
std::pair<Fd, Fd> makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        cannotStart("a pipe", errno);
    Fd raw[2] = {Fd(ends[0]), Fd(ends[1])};
    Fd high[2];
    for (int i = 0; i < 2; ++i) {
        high[i] = Fd(::fcntl(raw[i].get(), F_DUPFD_CLOEXEC, 10));
        if (high[i].get() < 0)
            cannotStart("a pipe", errno);
    }
    return {std::move(high[0]), std::move(high[1])};
}

// The running helper; killed and reaped when it is given up.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void kill() { ::kill(m_pid, SIGKILL); }
    // Waits for the helper to end and returns its wait status.
    int wait() {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return status;
    }
    // Whether it has ended within `limit` (then `status` holds how).
    bool waitFor(Clock::duration limit, int& status) {
        const auto until = Clock::now() + limit;
        for (;;) {
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid || (r < 0 && errno != EINTR)) {
                m_pid = -1;
                return true;
            }
            if (Clock::now() >= until)
                return false;
            ::usleep(10000);
        }
    }

private:
    pid_t m_pid;
};

long long numberAfter(const std::string& line, std::size_t& at) {
    const char* start = line.c_str() + at;
    char* end = nullptr;
    const long long n = std::strtoll(start, &end, 10);
    at = static_cast<std::size_t>(end - line.c_str());
    if (at < line.size() && line[at] == ' ')
        ++at;
    return n;
}

std::string secondsText(double seconds) {
    const long long whole = std::llround(seconds);
    return std::abs(seconds - static_cast<double>(whole)) < 1e-9 ? std::to_string(whole) : std::to_string(seconds);
}

std::string damaged(const std::string& accessPath, const std::string& why) {
    return "The Access file '" + accessPath + "' is damaged: " + why +
           ". Nothing was copied (Access can repair the file: Compact and Repair).";
}

} // namespace

CopyLimits CopyLimits::fromEnvironment() {
    CopyLimits limits;
    if (const char* seconds = std::getenv("ROWSIFTER_ACCESS_DEADLINE"); seconds && std::atof(seconds) > 0)
        limits.deadlineSeconds = std::atof(seconds);
    if (const char* mb = std::getenv("ROWSIFTER_ACCESS_MEMORY_MB"); mb && std::atoll(mb) > 0)
        limits.memoryBytes = std::atoll(mb) << 20;
    return limits;
}

std::string copyHelperPath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    std::vector<fs::path> candidates;
    if (!ec) {
        candidates.push_back(self.parent_path() / kHelperName);
        candidates.push_back(self.parent_path() / ROWSIFTER_HELPER_FROM_BIN / kHelperName);
    }
    candidates.push_back(fs::path(ROWSIFTER_HELPER_INSTALLED) / kHelperName);
    for (const fs::path& candidate : candidates)
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal().string();
    throw db::Error(db::err::EngineError, std::string("The helper program that reads Access files (") + kHelperName +
                                              ") is missing: it belongs beside this program or in " +
                                              ROWSIFTER_HELPER_INSTALLED + ". Reinstalling the program puts it back.");
}

CopyResult runCopyProcess(const std::string& accessPath, const std::string& partialPath, const std::string& password,
                          const CopyProgressCallback& progress, const CopyOptions& options) {
    const std::string helper = copyHelperPath();
    auto [progressRead, progressWrite] = makePipe();
    auto [outputRead, outputWrite] = makePipe();
    auto [inputRead, inputWrite] = makePipe();
    // The password goes in through a pipe (never an argument, which any user can see), written before the
    // helper starts so that a helper that dies at once cannot stop the program with SIGPIPE.
    if (password.size() >= 4096)
        throw db::Error(db::err::WrongPassword, "The password is too long.");
    if (!password.empty() &&
        ::write(inputWrite.get(), password.data(), password.size()) != static_cast<ssize_t>(password.size()))
        cannotStart("a pipe", errno);
    inputWrite.reset();

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&files, inputRead.get(), 0);
    posix_spawn_file_actions_adddup2(&files, outputWrite.get(), 1);
    posix_spawn_file_actions_adddup2(&files, outputWrite.get(), 2);
    posix_spawn_file_actions_adddup2(&files, progressWrite.get(), protocol::kProgressFd);
    posix_spawn_file_actions_addclosefrom_np(&files, protocol::kProgressFd + 1);
    // Whatever the program does with signals, the helper starts with the defaults: it dies of SIGPIPE
    // when the program is gone, and of Ctrl-C with it.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string memoryText = std::to_string(options.limits.memoryBytes);
    const std::string parent = std::to_string(::getpid());
    std::vector<char*> argv = {const_cast<char*>(helper.c_str()),      const_cast<char*>(accessPath.c_str()),
                               const_cast<char*>(partialPath.c_str()), const_cast<char*>(memoryText.c_str()),
                               const_cast<char*>(parent.c_str()),      nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        cannotStart(helper, spawned);
    Child child(pid);
    progressWrite.reset();
    outputWrite.reset();
    inputRead.reset();

    const auto deadline =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.limits.deadlineSeconds));
    auto lastProgress = Clock::now();
    auto lastTick = lastProgress;
    std::string lines, output;
    CopyResult result;
    std::string table;
    std::vector<std::string> announced; // the tables in the order the helper started them
    int tableIndex = 0, tableCount = 0;
    long long tableRows = 0;
    bool done = false;
    std::optional<db::Error> refusal;

    auto handle = [&](const std::string& line) {
        std::size_t at = line.find(' ');
        const std::string word = line.substr(0, at);
        at = at == std::string::npos ? line.size() : at + 1;
        if (word == "table") {
            tableIndex = static_cast<int>(numberAfter(line, at));
            tableCount = static_cast<int>(numberAfter(line, at));
            tableRows = numberAfter(line, at);
            table = protocol::unescape(line.substr(at));
            announced.push_back(table);
            return !progress || progress({table, tableIndex, tableCount, 0, tableRows});
        }
        if (word == "rows") {
            const long long rows = numberAfter(line, at);
            return !progress || progress({table, tableIndex, tableCount, rows, tableRows});
        }
        if (word == "copied" && result.tables.size() < announced.size())
            result.tables.push_back({announced[result.tables.size()], numberAfter(line, at)});
        else if (word == "failed") {
            const int number = static_cast<int>(numberAfter(line, at));
            refusal.emplace(number, protocol::unescape(line.substr(at)));
        } else if (word == "done")
            done = true;
        return true;
    };

    pollfd watched[2] = {{progressRead.get(), POLLIN, 0}, {outputRead.get(), POLLIN, 0}};
    char buffer[65536];
    bool timedOut = false;
    while (watched[0].fd >= 0) {
        const auto now = Clock::now();
        if (now - lastProgress >= deadline) {
            timedOut = true;
            break;
        }
        const auto wait = std::min<Clock::duration>(kTick, deadline - (now - lastProgress));
        const int ready =
            ::poll(watched, 2, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (ready < 0 && errno != EINTR)
            break;
        if (watched[1].fd >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(watched[1].fd, buffer, sizeof buffer);
            if (n > 0) {
                output.append(buffer, static_cast<std::size_t>(n));
                if (output.size() > 2 * kKeptOutput) // the end says how it ended
                    output.erase(0, output.size() - kKeptOutput);
            } else if (n == 0) {
                watched[1].fd = -1; // the helper's output is closed; its progress may still come
            }
        }
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(watched[0].fd, buffer, sizeof buffer);
            if (n == 0) {
                watched[0].fd = -1;
            } else if (n > 0) {
                lastProgress = Clock::now();
                lines.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t end; (end = lines.find('\n')) != std::string::npos;) {
                    const std::string line = lines.substr(0, end);
                    lines.erase(0, end + 1);
                    if (!handle(line))
                        return {true, {}}; // the helper is stopped on the way out
                }
            }
        }
        if (options.waiting && Clock::now() - lastTick >= kTick) {
            lastTick = Clock::now();
            if (!options.waiting())
                return {true, {}};
        }
    }
    // The helper has closed its progress (or is stopped now); how it ended decides.
    int status = 0;
    if (timedOut ||
        !child.waitFor(std::max<Clock::duration>(deadline - (Clock::now() - lastProgress), kTick), status)) {
        child.kill();
        child.wait();
        throw db::Error(db::err::NotADatabase, damaged(accessPath, "reading it made no progress for " +
                                                                       secondsText(options.limits.deadlineSeconds) +
                                                                       " seconds, so it was stopped"));
    }
    if (refusal)
        throw *refusal;
    if (done && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return result;
    const bool memory = output.find("failed to allocate") != std::string::npos ||
                        output.find("bad_alloc") != std::string::npos ||
                        output.find("Cannot allocate memory") != std::string::npos;
    if (WIFSIGNALED(status) && !memory)
        for (int outside : {SIGINT, SIGTERM, SIGHUP, SIGKILL})
            if (WTERMSIG(status) == outside) // someone stopped it: no sign of damage
                throw db::Error(db::err::EngineError, "The reading of the Access file '" + accessPath +
                                                          "' was stopped from outside (signal " +
                                                          std::to_string(outside) + "). Nothing was copied.");
    std::string why;
    if (memory)
        why = "reading it needed more than " + std::to_string(options.limits.memoryBytes >> 20) +
              " MB of memory, so it was stopped";
    else if (WIFSIGNALED(status))
        why =
            "reading it failed (signal " + std::to_string(WTERMSIG(status)) + ": " + strsignal(WTERMSIG(status)) + ")";
    else
        why = "reading it ended without finishing (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    throw db::Error(db::err::NotADatabase, damaged(accessPath, why));
}

} // namespace accessdb
