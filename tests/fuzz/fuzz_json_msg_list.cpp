// The message-list reply: records and page numbers.
#include "Fuzz.h"
#include "alarms/CAlarmMsgParser.h"

#include <vector>

FUZZ_TARGET
{
    std::vector<ALARM_INFO_STRUCT> records;
    int nCurPage = -5, nTotalPage = -5, nTotalNum = -5;
    std::string strReason;
    if (!CAlarmMsgParser::Parse(FuzzText(data, size), records, nCurPage, nTotalPage, nTotalNum, &strReason)) {
        FUZZ_CHECK(records.empty() && nCurPage == -5 && nTotalPage == -5 && nTotalNum == -5);
        FUZZ_CHECK(!strReason.empty());
        return;
    }
    // Page numbers are either kept or usable for paging.
    FUZZ_CHECK(nCurPage == -5 || nCurPage >= 1);
    FUZZ_CHECK(nTotalNum == -5 || nTotalNum >= 0);
    FUZZ_CHECK(nTotalPage == -5 || nTotalPage >= 0);
    for (const ALARM_INFO_STRUCT& record : records) {
        FUZZ_CHECK(!record.alarmTimeText.isEmpty());
        FUZZ_CHECK(record.isEncrypted == CAlarmMsgParser::EncryptedFlag(record.picUrl) ||
                   record.picUrl.empty());
    }
}
