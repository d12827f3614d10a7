#include "logkit/LogKit.h"

#include "logkit/SafeText.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <ctime>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace logkit {

// The module's levels are 0..6 (2 trace of overlays, 3 progress, 5 failure);
// they map one to one onto spdlog's trace..off ordering shifted by one.
spdlog::level::level_enum toSpdLevel(int level)
{
    switch (level) {
    case 0:
    case 1:
        return spdlog::level::trace;
    case 2:
        return spdlog::level::debug;
    case 3:
        return spdlog::level::info;
    case 4:
        return spdlog::level::warn;
    case 5:
        return spdlog::level::err;
    default:
        return spdlog::level::critical;
    }
}

class Registry
{
public:
    static Registry& instance()
    {
        static Registry registry;
        return registry;
    }

    void write(int level, const char* tag, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        spdlog::details::log_msg msg(spdlog::string_view_t(tag ? tag : ""), toSpdLevel(level),
                                     spdlog::string_view_t(text));
        // A log that cannot be written (a full disk) loses lines, never the
        // process: the file sink throws from whichever thread logs.
        for (auto& sink : m_sinks) {
            guarded([&] { sink->log(msg); });
        }
        if (m_capture) {
            m_captured.push_back({level, tag ? tag : "", text});
        }
        // Progress and failures are on disk as they happen (for whoever reads
        // the file now, and for a crash that follows); overlay traces may wait.
        if (level >= 3) {
            for (auto& sink : m_sinks) {
                guarded([&] { sink->flush(); });
            }
        }
    }

    void setStderr(bool enabled)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (enabled && !m_stderr) {
            m_stderr = std::make_shared<spdlog::sinks::stderr_sink_mt>();
            m_stderr->set_pattern(kPattern);
            m_sinks.push_back(m_stderr);
        } else if (!enabled && m_stderr) {
            m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), m_stderr), m_sinks.end());
            m_stderr.reset();
        }
    }

    void setCapture(bool on)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_capture = on;
    }
    std::vector<CapturedLine> captured()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_captured;
    }
    void clearCaptured()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_captured.clear();
    }

private:
    static constexpr const char* kPattern = "%Y-%m-%d %H:%M:%S.%e [%t] [%l] [%n] %v";

    Registry()
    {
        openFileSink();
        const char* env = std::getenv("MESSAGECLIENT_LOG_STDERR");
        if (env && std::string(env) == "1") {
            setStderr(true);
        }
    }

    void openFileSink()
    {
        // A log directory that cannot be created must not stop the module.
        std::error_code ec;
        const std::filesystem::path dir(logDirectory());
        std::filesystem::create_directories(dir, ec);
        try {
            auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
                (dir / "MessageClient.log").string(), 5 * 1024 * 1024, 3);
            sink->set_pattern(kPattern);
            m_sinks.push_back(sink);
        } catch (const spdlog::spdlog_ex& e) {
            std::fprintf(stderr, "logkit: cannot open log file in %s: %s\n", dir.c_str(), e.what());
        }
    }

    // Under m_mutex. Says so on stderr once per run of failures.
    template <typename Call>
    void guarded(Call call)
    {
        try {
            call();
            m_failing = false;
        } catch (const spdlog::spdlog_ex& e) {
            if (!m_failing) {
                std::fprintf(stderr, "logkit: log lines lost: %s\n", e.what());
            }
            m_failing = true;
        }
    }

    std::mutex m_mutex;
    bool m_failing = false;
    std::vector<spdlog::sink_ptr> m_sinks;
    spdlog::sink_ptr m_stderr;
    bool m_capture = false;
    std::vector<CapturedLine> m_captured;
};

std::string logDirectory()
{
    if (const char* dir = std::getenv("MESSAGECLIENT_LOG_DIR"); dir && *dir) {
        return dir;
    }
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        return std::string(state) + "/messageclient/log";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/messageclient/log";
}

void setStderrEnabled(bool enabled)
{
    Registry::instance().setStderr(enabled);
}

void startCapture()
{
    Registry::instance().setCapture(true);
}

void stopCapture()
{
    Registry::instance().setCapture(false);
}

std::vector<CapturedLine> capturedLines()
{
    return Registry::instance().captured();
}

void clearCapture()
{
    Registry::instance().clearCaptured();
}

bool captured(const std::string& needle, int level)
{
    for (const auto& line : capturedLines()) {
        if ((level < 0 || line.level == level) && line.text.find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

namespace {

constexpr std::size_t kSafePathMax = 4096;
char g_szSafeLogFile[kSafePathMax] = "";
std::atomic<long> g_nUtcOffset{0};

const char* levelName(int level)
{
    // The names spdlog writes for the same levels, so the line reads like its neighbours.
    switch (toSpdLevel(level)) {
    case spdlog::level::trace:
        return "trace";
    case spdlog::level::debug:
        return "debug";
    case spdlog::level::info:
        return "info";
    case spdlog::level::warn:
        return "warning";
    case spdlog::level::err:
        return "error";
    default:
        return "critical";
    }
}

} // namespace

void prepareSignalSafeWrite()
{
    Registry::instance(); // creates the log directory
    const std::string path = logDirectory() + "/MessageClient.log";
    if (path.size() < kSafePathMax) {
        std::memcpy(g_szSafeLogFile, path.c_str(), path.size() + 1);
    }
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local)) {
        g_nUtcOffset.store(local.tm_gmtoff);
    }
}

void writeFromSignalHandler(int level, const char* tag, int line, const char* function, const char* text,
                            const char* value)
{
    if (!g_szSafeLogFile[0]) {
        return;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const SafeDate date = safeDate(static_cast<long long>(now.tv_sec) + g_nUtcOffset.load());
    SafeText<2048> out;
    out.addNumber(date.nYear, 10, 4);
    out.add("-");
    out.addNumber(date.nMonth, 10, 2);
    out.add("-");
    out.addNumber(date.nDay, 10, 2);
    out.add(" ");
    out.addNumber(date.nHour, 10, 2);
    out.add(":");
    out.addNumber(date.nMinute, 10, 2);
    out.add(":");
    out.addNumber(date.nSecond, 10, 2);
    out.add(".");
    out.addNumber(static_cast<unsigned long long>(now.tv_nsec / 1000000), 10, 3);
    out.add(" [");
    out.addNumber(static_cast<unsigned long long>(syscall(SYS_gettid)));
    out.add("] [");
    out.add(levelName(level));
    out.add("] [");
    out.add(tag);
    out.add("] <");
    out.addNumber(static_cast<unsigned long long>(line < 0 ? 0 : line));
    out.add(">\t<");
    out.add(function);
    out.add(">,");
    out.add(text);
    out.add(value);
    out.add("\n");
    const int fd = ::open(g_szSafeLogFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const char* data = out.szBuf;
    std::size_t left = out.nLen;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) {
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    ::close(fd);
}

std::string mask(const std::string& secret)
{
    if (secret.empty()) {
        return secret;
    }
    return secret.substr(0, 2) + "***";
}

} // namespace logkit

void LogWrite(int level, const char* tag, const char* format, int line, const char* function, ...)
{
    if (!format) {
        return;
    }
    // Line and function are named parameters, so the "<%d>\t<%s>," that every
    // format begins with is filled here and the rest from the caller's values.
    static const std::string kPrefix = "<%d>\t<%s>,";
    std::string rest = format;
    std::string text;
    if (rest.compare(0, kPrefix.size(), kPrefix) == 0) {
        rest.erase(0, kPrefix.size());
        text = "<" + std::to_string(line) + ">\t<" + (function ? function : "") + ">,";
    }
    va_list args;
    va_start(args, function);
    va_list copy;
    va_copy(copy, args);
    char small[1024];
    const int needed = std::vsnprintf(small, sizeof small, rest.c_str(), args);
    if (needed >= static_cast<int>(sizeof small)) {
        std::string big(static_cast<size_t>(needed) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), rest.c_str(), copy);
        big.resize(static_cast<size_t>(needed));
        text += big;
    } else if (needed > 0) {
        text.append(small, static_cast<size_t>(needed));
    }
    va_end(copy);
    va_end(args);
    logkit::Registry::instance().write(level, tag, text);
}
