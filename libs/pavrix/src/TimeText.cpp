#include "TimeText.h"

#include "PavrixSDK.h"

#include <cctype>
#include <ctime>

namespace pavrix {

namespace {

int field(const std::string& text, std::size_t pos, std::size_t len)
{
    int value = 0;
    for (std::size_t i = pos; i < pos + len; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

} // namespace

bool TimeText::isValid(const std::string& text)
{
    static const char pattern[] = "dddd-dd-dd dd:dd:dd";
    if (text.size() != sizeof pattern - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool wantDigit = pattern[i] == 'd';
        if (wantDigit ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i])
            return false;
    }
    const int month = field(text, 5, 2);
    const int day = field(text, 8, 2);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && field(text, 11, 2) <= 23 &&
           field(text, 14, 2) <= 59 && field(text, 17, 2) <= 59;
}

void TimeText::toLocalFields(std::int64_t msSinceEpoch, STREAM_TIME* out)
{
    // Floor division so times before 1970 do not round towards the next second.
    std::int64_t seconds = msSinceEpoch / 1000;
    if (msSinceEpoch % 1000 < 0)
        --seconds;
    const std::time_t t = static_cast<std::time_t>(seconds);
    tm local{};
    localtime_r(&t, &local);
    out->iYear = local.tm_year + 1900;
    out->iMonth = local.tm_mon + 1;
    out->iDay = local.tm_mday;
    out->iHour = local.tm_hour;
    out->iMinute = local.tm_min;
    out->iSecond = local.tm_sec;
}

} // namespace pavrix
