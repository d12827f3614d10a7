#include "base/LaunchValues.h"

#include <mutex>

namespace {
std::mutex& valuesMutex()
{
    static std::mutex mutex;
    return mutex;
}
LaunchValues& values()
{
    static LaunchValues launchValues;
    return launchValues;
}
} // namespace

LaunchValues LaunchValues::snapshot()
{
    std::lock_guard<std::mutex> lock(valuesMutex());
    return values();
}

void LaunchValues::update(const std::function<void(LaunchValues&)>& fnChange)
{
    std::lock_guard<std::mutex> lock(valuesMutex());
    fnChange(values());
}

void LaunchValues::reset()
{
    update([](LaunchValues& v) { v = LaunchValues(); });
}
