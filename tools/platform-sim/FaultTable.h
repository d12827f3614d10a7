#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct Fault
{
    int status = 0; // 0: answer normally after the delay
    int delayMs = 0;
    bool drop = false;  // close the connection without an answer
    int remaining = -1; // requests left; -1 until cleared
    std::string body;   // reply body for status faults; empty: an envelope
    int64_t padTo = 0;  // body padded with spaces to this many bytes (the same JSON, only longer)
};

constexpr int64_t kMaxPadTo = 64LL << 20;

// Faults set through the admin interface, by path. A path ending in "*" matches
// every path that starts with the rest.
class FaultTable
{
public:
    void set(const std::string& path, const Fault& fault);
    bool clear(const std::string& path);
    void reset();
    // The fault for this request, counting it down; false when none applies.
    bool take(const std::string& path, Fault& out);

private:
    std::mutex m_mutex;
    std::map<std::string, Fault> m_faults;
};
