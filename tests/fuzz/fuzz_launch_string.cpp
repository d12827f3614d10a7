// The launch string: cut into items as the window cuts it, and each value read
// as a number the way ParentWnd, NewWnd and PushedMsgId are read.
#include "Fuzz.h"
#include "base/CLaunchString.h"
#include "base/LaunchNumber.h"

#include <QString>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// atoi's reading, clamped where atoi would overflow (strtoll saturates).
int ReferenceNumber(const std::string& strValue)
{
    return static_cast<int>(
        std::clamp<long long>(std::strtoll(strValue.c_str(), nullptr, 10), INT_MIN, INT_MAX));
}

} // namespace

FUZZ_TARGET
{
    const QString strCmdLine = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto items = CLaunchString::Split(strCmdLine);
    FUZZ_CHECK(items.size() <= static_cast<std::size_t>(strCmdLine.count(QLatin1Char(';')) + 1));
    for (const auto& item : items) {
        FUZZ_CHECK(item.first.find_first_of(";:") == std::string::npos);
        FUZZ_CHECK(item.second.find(';') == std::string::npos);
        FUZZ_CHECK(LaunchNumber(item.second) == ReferenceNumber(item.second));
    }
}
