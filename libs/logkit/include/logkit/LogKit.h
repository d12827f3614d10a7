// The log library: one printf-style write function shared by every part of the
// module, with the argument order the module's call sites use.
#pragma once

#include <string>
#include <vector>

// format must begin "<%d>\t<%s>," which line and function fill.
void LogWrite(int level, const char* tag, const char* format, int line, const char* function, ...);

namespace logkit {

struct CapturedLine
{
    int level;
    std::string tag;
    std::string text; // the formatted message, without time and thread
};

// Log directory: $MESSAGECLIENT_LOG_DIR, else $XDG_STATE_HOME/messageclient/log,
// else ~/.local/state/messageclient/log. $MESSAGECLIENT_LOG_STDERR=1 also writes stderr.
std::string logDirectory();
void setStderrEnabled(bool enabled);

// Tests: keep every line written from now on in memory.
void startCapture();
void stopCapture();
std::vector<CapturedLine> capturedLines();
void clearCapture();
bool captured(const std::string& needle, int level = -1);

// For a fatal-signal handler: appends one line to the log file with
// open/write/close, without the library's lock and without allocating, so a
// crash inside the logger or malloc cannot hang it. The line reads
// "<line>\t<function>," + text + value; nothing is formatted.
// prepareSignalSafeWrite() must have run beforehand, outside the handler.
void prepareSignalSafeWrite();
void writeFromSignalHandler(int level, const char* tag, int line, const char* function, const char* text,
                            const char* value = nullptr);

// "ab***" for secrets in log lines; empty stays empty.
std::string mask(const std::string& secret);

} // namespace logkit
