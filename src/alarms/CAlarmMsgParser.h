// The message-list reply of the platform into alarm records and page numbers,
// read through the one safe reader: callable on a bare text.
#pragma once

#include "base/AlarmTypes.h"

#include <string>
#include <vector>

class CAlarmMsgParser
{
public:
    // False (outputs untouched, reason given) for an empty text, anything but
    // an object with a "data" array, or a "page" member that is not 32-bit
    // integers. Page numbers come out clamped: page at least 1, total at
    // least 0; without "page" they keep their values, and a size below 1
    // keeps the page count. A record of the wrong shape (not an object, a
    // member of the wrong type, a number out of range) is left out and named
    // in the reason, so one bad record does not cost the page.
    static bool Parse(const std::string& strJson, std::vector<ALARM_INFO_STRUCT>& msgVec, int& curPage,
                      int& totalPage, int& totalNum, std::string* pReason = nullptr);

    // The value of "&isEncrypted=" in a picture address, "0" when absent or
    // at the very start.
    static std::string EncryptedFlag(const std::string& strPicUrl);
};
