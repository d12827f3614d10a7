#include "SdkLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/time.h>

namespace pavrix {

namespace {

int initialLevel()
{
    const char* env = std::getenv("PAVRIX_LOG_LEVEL");
    if (env && *env >= '0' && *env <= '5' && env[1] == '\0')
        return *env - '0';
    return SdkLog::Error;
}

std::atomic<int> g_level{initialLevel()};
std::mutex g_writeMutex;

const char* levelName(int level)
{
    static const char* names[] = {"", "E", "W", "I", "D", "V"};
    return (level >= 0 && level <= 5) ? names[level] : "?";
}

} // namespace

void SdkLog::setLevel(int level)
{
    if (level < Off)
        level = Off;
    if (level > Verbose)
        level = Verbose;
    g_level = level;
}

int SdkLog::level()
{
    return g_level;
}

void SdkLog::write(int level, const char* format, ...)
{
    if (level <= Off || level > g_level)
        return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);

    std::lock_guard<std::mutex> lock(g_writeMutex);
    std::fprintf(stderr, "[pavrix %s.%03ld %s] %s\n", stamp, static_cast<long>(now.tv_usec / 1000),
                 levelName(level), text);
}

std::string SdkLog::mask(const std::string& secret)
{
    if (secret.empty())
        return secret;
    return secret.substr(0, 2) + "***";
}

} // namespace pavrix
