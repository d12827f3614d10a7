#include "base/LaunchNumber.h"

#include <cctype>
#include <climits>

int LaunchNumber(const std::string& strValue)
{
    size_t nPos = 0;
    while (nPos < strValue.size() && std::isspace(static_cast<unsigned char>(strValue[nPos]))) {
        ++nPos;
    }
    bool bNegative = false;
    if (nPos < strValue.size() && (strValue[nPos] == '+' || strValue[nPos] == '-')) {
        bNegative = strValue[nPos] == '-';
        ++nPos;
    }
    long long nValue = 0;
    for (; nPos < strValue.size() && std::isdigit(static_cast<unsigned char>(strValue[nPos])); ++nPos) {
        nValue = nValue * 10 + (strValue[nPos] - '0');
        if (nValue > static_cast<long long>(INT_MAX) + 1) {
            nValue = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (bNegative) {
        nValue = -nValue;
    }
    if (nValue > INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(nValue < INT_MIN ? INT_MIN : nValue);
}
