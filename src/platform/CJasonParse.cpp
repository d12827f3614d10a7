#include "platform/CJasonParse.h"

#include "platform/CSafeJson.h"

namespace {

using J = CSafeJson;

void SetReason(std::string* pReason, const std::string& strReason)
{
    if (pReason) {
        *pReason = strReason;
    }
}

// The reply envelope: "code" "200" (text, or the number in its text form) and
// a "data" array.
const Json::Value* EnvelopeArray(const std::string& strText, Json::Value& root, std::string* pReason)
{
    if (!J::ParseObject(strText, root, pReason)) {
        return nullptr;
    }
    std::string strCode;
    if (!J::ToText(J::Member(root, "code"), strCode) || strCode != "200") {
        SetReason(pReason, "code is not 200");
        return nullptr;
    }
    const Json::Value& data = J::Member(root, "data");
    if (!data.isArray()) {
        SetReason(pReason, "\"data\" is not an array");
        return nullptr;
    }
    return &data;
}

} // namespace

bool CJasonParse::ParseCodeMsg(const char* szText, int& nCode, QString& strMsg) const
{
    Json::Value root;
    if (!szText || !J::ParseObject(szText, root)) {
        return false;
    }
    int nParsedCode = 0;
    std::string strParsedMsg;
    if (!J::OptInt(root, "code", nParsedCode) || !J::OptText(root, "msg", strParsedMsg)) {
        return false;
    }
    nCode = nParsedCode;
    strMsg = QString::fromLocal8Bit(strParsedMsg.c_str());
    return true;
}

bool CJasonParse::ParseToken(std::string strText, std::string& strToken, std::string& strRefreshToken,
                             std::string& strAccessToken, std::string& strCode) const
{
    Json::Value root;
    std::string strParsedCode;
    if (!J::ParseObject(strText, root) || !J::OptText(root, "code", strParsedCode)) {
        return false;
    }
    strCode = strParsedCode;
    if (strCode != "200") {
        return false;
    }
    const Json::Value& data = J::Member(root, "data");
    std::string strNewToken;
    std::string strNewRefresh;
    std::string strNewAccess;
    if (!data.isObject() || !J::OptText(data, "token", strNewToken) ||
        !J::OptText(data, "refreshToken", strNewRefresh) || !J::OptText(data, "accessToken", strNewAccess)) {
        return false;
    }
    // A "success" without the pair would leave the login with nothing to
    // renew it by: it is a failed refresh.
    if (strNewToken.empty() || strNewRefresh.empty()) {
        return false;
    }
    strToken = strNewToken;
    strRefreshToken = strNewRefresh;
    if (!strNewAccess.empty()) {
        strAccessToken = strNewAccess;
    }
    return true;
}

bool CJasonParse::ParsePermission(const std::string& strText, PermissionMap& table) const
{
    Json::Value root;
    const Json::Value* pData = EnvelopeArray(strText, root, nullptr);
    if (!pData) {
        return false;
    }
    PermissionMap parsed;
    for (const Json::Value& element : *pData) {
        PERMISSION_ITEM item;
        if (!element.isObject() || !J::OptInt(element, "id", item.id) ||
            !J::OptText(element, "name", item.name) || !J::OptInt(element, "permission", item.permission)) {
            return false;
        }
        parsed.emplace(item.id, item); // the first of an id wins
    }
    table = std::move(parsed);
    return true;
}

bool CJasonParse::HasPermission(int nMenuId, const PermissionMap& table) const
{
    return table.find(nMenuId) != table.end();
}

bool CJasonParse::ParseCamInfo(const std::string& strText, std::string& strSerial, int& nChannelNo,
                               int& nTrust, std::string* pReason) const
{
    Json::Value root;
    if (!J::ParseObject(strText, root, pReason)) {
        return false;
    }
    // Only the text "200" counts here: the number is another platform's answer.
    const Json::Value& code = J::Member(root, "code");
    if (!code.isString() || code.asString() != "200") {
        SetReason(pReason, "code is not \"200\"");
        return false;
    }
    const Json::Value& data = J::Member(root, "data");
    const Json::Value& serial = J::Member(data, "deviceSerial");
    int nChannel = 0;
    int nIsTrust = 0;
    if (!serial.isString() || !J::ToInt(J::Member(data, "channelNo"), nChannel) ||
        !J::OptInt(data, "isTrust", nIsTrust)) {
        SetReason(pReason, "no usable camera in \"data\"");
        return false;
    }
    strSerial = serial.asString();
    nChannelNo = nChannel;
    nTrust = nIsTrust;
    return true;
}

bool CJasonParse::ParseTopOrg(const std::string& strText, int& nOrgId, std::string* pReason) const
{
    Json::Value root;
    const Json::Value* pData = EnvelopeArray(strText, root, pReason);
    if (!pData) {
        return false;
    }
    if (pData->empty()) {
        return true;
    }
    const Json::Value& first = (*pData)[0];
    int nId = nOrgId;
    if (!J::OptInt(first, "id", nId)) {
        SetReason(pReason, "organisation \"id\" is not a 32-bit integer");
        return false;
    }
    nOrgId = nId;
    return true;
}

bool CJasonParse::ParseCamList(const std::string& strText, std::vector<DEV_DETAIL_INFO>& cameras,
                               std::string* pReason) const
{
    Json::Value root;
    const Json::Value* pData = EnvelopeArray(strText, root, pReason);
    if (!pData) {
        return false;
    }
    std::vector<DEV_DETAIL_INFO> parsed;
    std::string strSkipped;
    for (Json::ArrayIndex i = 0; i < pData->size(); ++i) {
        const Json::Value& element = (*pData)[i];
        const Json::Value& name = J::Member(element, "channelName");
        if (!name.isString()) {
            continue;
        }
        DEV_DETAIL_INFO camera;
        camera.channelName = name.asString();
        const Json::Value& serial = J::Member(element, "deviceSerial");
        // A camera without an address would make the filter match every
        // device (channel -1 means none), so it is not offered.
        if (!serial.isString() || !J::ToInt(J::Member(element, "channelNo"), camera.channelNo, 0)) {
            strSkipped += (strSkipped.empty() ? "" : ",") + std::to_string(i);
            continue;
        }
        camera.deviceSerial = serial.asString();
        J::OptText(element, "deviceName", camera.deviceName);
        J::OptText(element, "orgId", camera.orgId);
        parsed.push_back(std::move(camera));
    }
    SetReason(pReason,
              strSkipped.empty() ? std::string() : "cameras without serial or channel: " + strSkipped);
    cameras = std::move(parsed);
    return true;
}

bool CJasonParse::ParsePushServer(const std::string& strText, std::string& strIp, int& nPort,
                                  std::string* pReason) const
{
    Json::Value root;
    if (!J::ParseObject(strText, root, pReason)) {
        return false;
    }
    const Json::Value& ip = J::Member(root, "ip");
    int nParsedPort = 0;
    if (!ip.isString() || ip.asString().empty()) {
        SetReason(pReason, "no \"ip\" text");
        return false;
    }
    if (!J::ToInt(J::Member(root, "port"), nParsedPort, 1, 65535)) {
        SetReason(pReason, "\"port\" is not an integer in 1..65535");
        return false;
    }
    strIp = ip.asString();
    nPort = nParsedPort;
    return true;
}
