#include "alarms/CAlarmMsgParser.h"

#include <QDateTime>

#include <json/json.h>

#include <memory>

namespace {

// Members are taken only when present and of a usable type, so one odd
// record cannot fail the page.
void readInt(const Json::Value& element, const char* szKey, int& nOut)
{
    const Json::Value& value = element[szKey];
    if (value.isIntegral() || (value.isDouble() && value.isConvertibleTo(Json::intValue))) {
        nOut = value.asInt();
    }
}

void readText(const Json::Value& element, const char* szKey, std::string& strOut)
{
    const Json::Value& value = element[szKey];
    if (value.isString() || value.isNumeric() || value.isBool()) {
        strOut = value.asString();
    }
}

void readDouble(const Json::Value& element, const char* szKey, double& dOut)
{
    const Json::Value& value = element[szKey];
    if (value.isNumeric()) {
        dOut = value.asDouble();
    }
}

int readPageInt(const Json::Value& page, const char* szKey)
{
    const Json::Value& value = page[szKey];
    return value.isConvertibleTo(Json::intValue) && !value.isString() ? value.asInt() : 0;
}

ALARM_INFO_STRUCT readRecord(const Json::Value& element)
{
    ALARM_INFO_STRUCT record;
    readInt(element, "id", record.id);
    readInt(element, "saasUserId", record.saasUserId);
    readInt(element, "userId", record.userId);
    readInt(element, "channelNo", record.channelNo);
    readText(element, "alarmType", record.alarmType);
    readText(element, "deviceSerial", record.deviceSerial);
    readText(element, "isRead", record.isRead);
    readText(element, "deviceName", record.deviceName);
    readText(element, "ipcValidateCode", record.ipcValidateCode);
    readDouble(element, "alarmTime", record.alarmTime);
    readDouble(element, "createDate", record.createDate);
    record.isEncrypted = "0";
    if (element.isMember("picUrl")) {
        readText(element, "picUrl", record.picUrl);
        record.isEncrypted = CAlarmMsgParser::EncryptedFlag(record.picUrl);
    }
    record.alarmTimeText = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(record.alarmTime))
                               .toLocalTime()
                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return record;
}

} // namespace

bool CAlarmMsgParser::Parse(const std::string& strJson, std::vector<ALARM_INFO_STRUCT>& msgVec, int& curPage,
                            int& totalPage, int& totalNum)
{
    if (strJson.empty()) {
        return false;
    }
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string strErrors;
    if (!reader->parse(strJson.data(), strJson.data() + strJson.size(), &root, &strErrors) ||
        !root.isObject() || !root["data"].isArray()) {
        return false;
    }
    if (root["page"].isObject()) {
        const Json::Value& page = root["page"];
        curPage = readPageInt(page, "pageNo");
        totalNum = readPageInt(page, "total");
        const int nSize = readPageInt(page, "size");
        if (nSize != 0) {
            totalPage = totalNum / nSize + (totalNum % nSize ? 1 : 0);
        }
    }
    for (const Json::Value& element : root["data"]) {
        if (element.isObject()) {
            msgVec.push_back(readRecord(element));
        }
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
