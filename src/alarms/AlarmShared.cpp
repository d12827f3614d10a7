#include "alarms/AlarmShared.h"

QList<int>& DeleteIdList()
{
    static QList<int> ids;
    return ids;
}

void AddDeleteId(int nMsgId)
{
    if (!DeleteIdList().contains(nMsgId)) {
        DeleteIdList().append(nMsgId);
    }
}

void RemoveDeleteId(int nMsgId)
{
    DeleteIdList().removeAll(nMsgId);
}

std::map<std::string, std::string>& DevCodeMap()
{
    static std::map<std::string, std::string> codes;
    return codes;
}

std::string DevCodeKey(const std::string& strSerial, int nChannelNo)
{
    return strSerial + std::to_string(nChannelNo);
}

std::string FindDevCode(const std::string& strSerial, int nChannelNo)
{
    const auto& codes = DevCodeMap();
    auto it = codes.find(DevCodeKey(strSerial, nChannelNo));
    if (it == codes.end()) {
        it = codes.find(strSerial);
    }
    return it == codes.end() ? std::string() : it->second;
}
