// The platform's JSON replies and the video library's recording-search result,
// one target each: FUZZ_JSON (set per target in CMakeLists.txt) names the
// reader's function below. A refused reply leaves the caller's values as they were.
#include "Fuzz.h"
#include "alarms/CAlarmMsgParser.h"
#include "platform/CJasonParse.h"
#include "playback/CRecordTable.h"

#include <string>
#include <vector>

namespace json {

// The "code" and "msg" every platform reply carries.
void CodeMsg(const std::string& strText)
{
    int nCode = -12345;
    QString strMsg = QStringLiteral("untouched");
    if (!CJasonParse().ParseCodeMsg(strText.c_str(), nCode, strMsg))
        FUZZ_CHECK(nCode == -12345 && strMsg == QLatin1String("untouched"));
}

// The token refresh: a success always leaves the login something to renew it by.
void Token(const std::string& strText)
{
    std::string strToken = "t0", strRefresh = "r0", strAccess = "a0", strCode;
    const bool bOk = CJasonParse().ParseToken(strText, strToken, strRefresh, strAccess, strCode);
    FUZZ_CHECK(bOk ? strCode == "200" && !strToken.empty() && !strRefresh.empty() && !strAccess.empty()
                   : strToken == "t0" && strRefresh == "r0" && strAccess == "a0");
}

void Permission(const std::string& strText)
{
    const CJasonParse parser;
    PermissionMap table;
    table[-7].name = "kept";
    if (parser.ParsePermission(strText, table)) {
        for (const auto& entry : table)
            FUZZ_CHECK(entry.first == entry.second.id && parser.HasPermission(entry.first, table));
    } else {
        FUZZ_CHECK(table.size() == 1 && table.at(-7).name == "kept");
    }
}

// The message list: records, and page numbers either kept or usable for paging.
void MsgList(const std::string& strText)
{
    std::vector<ALARM_INFO_STRUCT> records;
    int nCurPage = -5, nTotalPage = -5, nTotalNum = -5;
    std::string strReason;
    if (!CAlarmMsgParser::Parse(strText, records, nCurPage, nTotalPage, nTotalNum, &strReason)) {
        FUZZ_CHECK(records.empty() && nCurPage == -5 && nTotalPage == -5 && nTotalNum == -5);
        FUZZ_CHECK(!strReason.empty());
        return;
    }
    FUZZ_CHECK(nCurPage == -5 || nCurPage >= 1);
    FUZZ_CHECK(nTotalNum == -5 || nTotalNum >= 0);
    FUZZ_CHECK(nTotalPage == -5 || nTotalPage >= 0);
    for (const ALARM_INFO_STRUCT& record : records) {
        FUZZ_CHECK(!record.alarmTimeText.isEmpty());
        FUZZ_CHECK(record.isEncrypted == CAlarmMsgParser::EncryptedFlag(record.picUrl) ||
                   record.picUrl.empty());
    }
}

// Serial, channel and trust of an alarm's camera.
void CamInfo(const std::string& strText)
{
    std::string strSerial = "s0";
    int nChannel = -9, nTrust = -9;
    std::string strReason;
    if (!CJasonParse().ParseCamInfo(strText, strSerial, nChannel, nTrust, &strReason))
        FUZZ_CHECK(strSerial == "s0" && nChannel == -9 && nTrust == -9 && !strReason.empty());
}

// The camera directory: the organisation tree's top and the camera search.
void CamDir(const std::string& strText)
{
    const CJasonParse parser;
    int nOrgId = -3;
    std::string strReason;
    if (!parser.ParseTopOrg(strText, nOrgId, &strReason))
        FUZZ_CHECK(nOrgId == -3 && !strReason.empty());
    std::vector<DEV_DETAIL_INFO> cameras(1);
    if (parser.ParseCamList(strText, cameras, &strReason)) {
        // Channel -1 would mean "every device" to the filter.
        for (const DEV_DETAIL_INFO& camera : cameras)
            FUZZ_CHECK(camera.channelNo >= 0);
    } else {
        FUZZ_CHECK(cameras.size() == 1 && !strReason.empty());
    }
}

void PushServer(const std::string& strText)
{
    std::string strIp = "ip0";
    int nPort = -1;
    std::string strReason;
    const bool bOk = CJasonParse().ParsePushServer(strText, strIp, nPort, &strReason);
    FUZZ_CHECK(bOk ? !strIp.empty() && nPort >= 1 && nPort <= 65535
                   : strIp == "ip0" && nPort == -1 && !strReason.empty());
}

// The recording-search result, and the slider scale built from it for a
// two-minute window around an alarm.
void RecordSearch(const std::string& strText)
{
    int nFileSize = -4;
    std::vector<RecordFile> files;
    if (!CRecordTable::ParseSearchResult(strText.c_str(), nFileSize, files)) {
        FUZZ_CHECK(nFileSize == -4 && files.empty());
        return;
    }
    FUZZ_CHECK(files.size() <= static_cast<std::size_t>(nFileSize < 0 ? 0 : nFileSize));
    std::vector<int> lengths;
    const RecordSegmentMap segments =
        CRecordTable::Build(files, "2026-12-06 10:00:00", "2026-12-06 10:02:00", &lengths);
    int nPrevEnd = -1;
    for (const auto& entry : segments) {
        const RecordSegment& segment = entry.second;
        FUZZ_CHECK(segment.sliderStart <= segment.sliderEnd && segment.sliderStart > nPrevEnd - 1);
        nPrevEnd = segment.sliderEnd;
        int nKey = 0;
        std::string strStart;
        if (CRecordTable::SeekTarget(segments, segment.sliderStart, nKey, strStart))
            FUZZ_CHECK(CRecordTable::SecondsOfDay(strStart) >= 0);
    }
    for (int nOsd : {0, 36000, 36059, 36120, 86399}) {
        const CRecordTable::Position position = CRecordTable::Locate(segments, nOsd);
        FUZZ_CHECK(!position.bFound || segments.count(position.nKey) == 1);
    }
}

} // namespace json

FUZZ_TARGET
{
    json::FUZZ_JSON(std::string(reinterpret_cast<const char*>(data), size));
}
