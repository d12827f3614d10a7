// Text building for code that runs inside a signal handler: fixed storage, no
// allocation, no locale, no stdio.
#pragma once

#include <cstddef>
#include <ctime>

namespace logkit {

template <std::size_t N>
struct SafeText
{
    char szBuf[N];
    std::size_t nLen = 0;

    SafeText() { szBuf[0] = '\0'; }

    void add(const char* sz)
    {
        while (sz && *sz && nLen + 1 < N) {
            szBuf[nLen++] = *sz++;
        }
        szBuf[nLen] = '\0';
    }
    void addNumber(unsigned long long nValue, unsigned nBase = 10, int nMinDigits = 1)
    {
        char szDigits[32];
        int nCount = 0;
        while ((nValue > 0 || nCount < nMinDigits) && nCount < 31) {
            const unsigned nDigit = unsigned(nValue % nBase);
            szDigits[nCount++] = char(nDigit < 10 ? '0' + nDigit : 'a' + nDigit - 10);
            nValue /= nBase;
        }
        char szOut[32];
        for (int i = 0; i < nCount; ++i) {
            szOut[i] = szDigits[nCount - 1 - i];
        }
        szOut[nCount] = '\0';
        add(szOut);
    }
};

// Calendar fields of a time in seconds (UTC, or local when the caller added
// its offset), by arithmetic only: gmtime/localtime may lock or allocate.
struct SafeDate
{
    long long nYear, nMonth, nDay, nHour, nMinute, nSecond;
};

inline SafeDate safeDate(long long nSeconds)
{
    long long nDays = nSeconds / 86400;
    long long nSecs = nSeconds % 86400;
    if (nSecs < 0) {
        nSecs += 86400;
        --nDays;
    }
    nDays += 719468;
    const long long nEra = (nDays >= 0 ? nDays : nDays - 146096) / 146097;
    const long long nDoe = nDays - nEra * 146097;
    const long long nYoe = (nDoe - nDoe / 1460 + nDoe / 36524 - nDoe / 146096) / 365;
    const long long nDoy = nDoe - (365 * nYoe + nYoe / 4 - nYoe / 100);
    const long long nMp = (5 * nDoy + 2) / 153;
    SafeDate date;
    date.nDay = nDoy - (153 * nMp + 2) / 5 + 1;
    date.nMonth = nMp < 10 ? nMp + 3 : nMp - 9;
    date.nYear = nYoe + nEra * 400 + (date.nMonth <= 2 ? 1 : 0);
    date.nHour = nSecs / 3600;
    date.nMinute = nSecs / 60 % 60;
    date.nSecond = nSecs % 60;
    return date;
}

} // namespace logkit
