#include "alarms/CAlarmMsgParser.h"

#include "alarms/CMsgPager.h"
#include "platform/CSafeJson.h"

#include <QDateTime>

#include <algorithm>

namespace {

using J = CSafeJson;

// The record, or false when a member it has is of the wrong type or range.
bool ReadRecord(const Json::Value& element, ALARM_INFO_STRUCT& record)
{
    if (!element.isObject()) {
        return false;
    }
    if (!J::OptInt(element, "id", record.id) || !J::OptInt(element, "saasUserId", record.saasUserId) ||
        !J::OptInt(element, "userId", record.userId) || !J::OptInt(element, "channelNo", record.channelNo) ||
        !J::OptText(element, "alarmType", record.alarmType) ||
        !J::OptText(element, "deviceSerial", record.deviceSerial) ||
        !J::OptText(element, "isRead", record.isRead) ||
        !J::OptText(element, "deviceName", record.deviceName) ||
        !J::OptText(element, "ipcValidateCode", record.ipcValidateCode) ||
        !J::OptText(element, "picUrl", record.picUrl) ||
        !J::OptDouble(element, "alarmTime", record.alarmTime, J::kMinTimeMs, J::kMaxTimeMs) ||
        !J::OptDouble(element, "createDate", record.createDate, J::kMinTimeMs, J::kMaxTimeMs)) {
        return false;
    }
    record.isEncrypted = "0";
    if (!J::Member(element, "picUrl").isNull()) {
        record.isEncrypted = CAlarmMsgParser::EncryptedFlag(record.picUrl);
    }
    record.alarmTimeText = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(record.alarmTime))
                               .toLocalTime()
                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return true;
}

} // namespace

bool CAlarmMsgParser::Parse(const std::string& strJson, std::vector<ALARM_INFO_STRUCT>& msgVec, int& curPage,
                            int& totalPage, int& totalNum, std::string* pReason)
{
    Json::Value root;
    if (!J::ParseObject(strJson, root, pReason)) {
        return false;
    }
    const Json::Value& data = J::Member(root, "data");
    if (!data.isArray()) {
        if (pReason) {
            *pReason = "\"data\" is not an array";
        }
        return false;
    }
    const Json::Value& page = J::Member(root, "page");
    int nPageNo = 0;
    int nSize = 0;
    int nTotal = 0;
    if (!J::OptInt(page, "pageNo", nPageNo) || !J::OptInt(page, "size", nSize) ||
        !J::OptInt(page, "total", nTotal)) {
        if (pReason) {
            *pReason = "\"page\" members are not 32-bit integers";
        }
        return false;
    }
    std::string strSkipped;
    for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
        ALARM_INFO_STRUCT record;
        if (ReadRecord(data[i], record)) {
            msgVec.push_back(std::move(record));
        } else {
            strSkipped += (strSkipped.empty() ? "" : ",") + std::to_string(i);
        }
    }
    if (page.isObject()) {
        curPage = std::max(nPageNo, 1);
        totalNum = std::max(nTotal, 0);
        totalPage = CMsgPager::PageCount(totalNum, nSize, totalPage);
    }
    if (pReason) {
        *pReason = strSkipped.empty() ? std::string() : "records left out: " + strSkipped;
    }
    return true;
}

std::string CAlarmMsgParser::EncryptedFlag(const std::string& strPicUrl)
{
    static const std::string kKey = "&isEncrypted=";
    const size_t nPos = strPicUrl.find(kKey);
    if (nPos == std::string::npos || nPos == 0) {
        return "0";
    }
    const size_t nStart = nPos + kKey.size();
    const size_t nEnd = strPicUrl.find('&', nStart);
    return strPicUrl.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
}
