// The library's own log: lines on stderr, filtered by the level the host sets
// with OpenSDK_SetConfigInfo (or $PAVRIX_LOG_LEVEL). Secrets go through mask().
#pragma once

#include <string>

namespace pavrix {

class SdkLog
{
public:
    enum Level
    {
        Off = 0,
        Error = 1,
        Warning = 2,
        Info = 3,
        Debug = 4,
        Verbose = 5
    };

    static void setLevel(int level);
    static int level();
    static void write(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "ab***": enough to tell values apart in a log, never the value itself.
    static std::string mask(const std::string& secret);
};

} // namespace pavrix

#define PVX_ERROR(...) ::pavrix::SdkLog::write(::pavrix::SdkLog::Error, __VA_ARGS__)
#define PVX_WARN(...) ::pavrix::SdkLog::write(::pavrix::SdkLog::Warning, __VA_ARGS__)
#define PVX_INFO(...) ::pavrix::SdkLog::write(::pavrix::SdkLog::Info, __VA_ARGS__)
#define PVX_DEBUG(...) ::pavrix::SdkLog::write(::pavrix::SdkLog::Debug, __VA_ARGS__)
