// The launch string: cut into items as the window cuts it, and each value read
// as a number the way ParentWnd, NewWnd and PushedMsgId are read.
#include "Fuzz.h"
#include "base/LaunchNumber.h"
#include "shell/MessageClient.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// atoi's reading, clamped where atoi would overflow.
int ReferenceNumber(const std::string& strValue)
{
    errno = 0;
    char* pEnd = nullptr;
    const long long nValue = std::strtoll(strValue.c_str(), &pEnd, 10);
    if (errno == ERANGE)
        return nValue > 0 ? INT_MAX : INT_MIN;
    return nValue > INT_MAX ? INT_MAX : nValue < INT_MIN ? INT_MIN : static_cast<int>(nValue);
}

} // namespace

FUZZ_TARGET
{
    const QString strCmdLine = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto items = MessageClient::SplitCmdLine(strCmdLine);
    FUZZ_CHECK(items.size() <= static_cast<std::size_t>(strCmdLine.count(QLatin1Char(';')) + 1));
    for (const auto& item : items) {
        FUZZ_CHECK(item.first.find_first_of(";:") == std::string::npos);
        FUZZ_CHECK(item.second.find(';') == std::string::npos);
        FUZZ_CHECK(LaunchNumber(item.second) == ReferenceNumber(item.second));
    }
}
