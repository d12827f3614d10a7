#include "alarms/CMsgListQuery.h"

#include "platform/CPlatformRequest.h"

#include <json/json.h>

namespace {

const char* const kTags[] = {"GetAllMsg", "GetNotReadMsg", "GetSearchMsg"};

} // namespace

QString CMsgListQuery::Tag(int nType)
{
    if (nType < kAll || nType > kSearch) {
        return QString();
    }
    return QLatin1String(kTags[nType]);
}

int CMsgListQuery::TypeOf(const QString& strTag)
{
    for (int nType = kAll; nType <= kSearch; ++nType) {
        if (strTag == QLatin1String(kTags[nType])) {
            return nType;
        }
    }
    return -1;
}

std::string CMsgListQuery::Body(const HTTPMSG_BODY& criteria)
{
    Json::Value body;
    body["clientType"] = 4;
    body["pageNo"] = criteria.pageNo;
    body["pageSize"] = criteria.pageSize;
    if (!criteria.alarmType.empty()) {
        body["alarmType"] = criteria.alarmType;
    }
    if (criteria.isEncrypt != 2) {
        body["isEncrypt"] = criteria.isEncrypt;
    }
    if (criteria.channelNo != -1) {
        body["deviceSerial"] = criteria.deviceSerial;
        body["channelNo"] = criteria.channelNo;
    }
    if (!criteria.startTime.empty()) {
        body["startTime"] = criteria.startTime;
    }
    if (!criteria.endTime.empty()) {
        body["endTime"] = criteria.endTime;
    }
    if (criteria.isRead != 2) {
        body["isRead"] = criteria.isRead;
    }
    return CPlatformRequest::WriteJson(body);
}

HTTPMSG_BODY CMsgListQuery::Page(int nType, int nPageNo, int nPageSize)
{
    HTTPMSG_BODY criteria;
    criteria.pageNo = nPageNo;
    criteria.pageSize = nPageSize;
    criteria.isRead = nType == kUnread ? 0 : 2;
    return criteria;
}

HTTPMSG_BODY CMsgListQuery::Search(const std::string& strStart, const std::string& strEnd, int nIsRead,
                                   int nIsEncrypt, const std::string& strSerial, int nChannelNo)
{
    HTTPMSG_BODY criteria;
    criteria.startTime = strStart;
    criteria.endTime = strEnd;
    criteria.isRead = nIsRead;
    criteria.isEncrypt = nIsEncrypt;
    criteria.deviceSerial = strSerial;
    criteria.channelNo = nChannelNo;
    return criteria;
}
