// The message-list reply of the platform into alarm records and page numbers.
#pragma once

#include "alarms/AlarmTypes.h"

#include <string>
#include <vector>

class CAlarmMsgParser
{
public:
    // False for an empty text, unparseable JSON or a root without a "data"
    // array. Without "page" the page outputs keep their values; a page size
    // of 0 keeps the page count.
    static bool Parse(const std::string& strJson, std::vector<ALARM_INFO_STRUCT>& msgVec, int& curPage,
                      int& totalPage, int& totalNum);

    // The value of "&isEncrypted=" in a picture address, "0" when absent or
    // at the very start.
    static std::string EncryptedFlag(const std::string& strPicUrl);
};
