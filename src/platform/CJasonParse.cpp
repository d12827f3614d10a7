#include "platform/CJasonParse.h"

#include <json/json.h>

#include <memory>

namespace {

bool parseRoot(const std::string& strText, Json::Value& root)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string strErrors;
    return reader->parse(strText.data(), strText.data() + strText.size(), &root, &strErrors);
}

// The member as text the way the platform's numbers and strings both read;
// false for arrays and objects, which have no text form.
bool asText(const Json::Value& value, std::string& strOut)
{
    if (value.isNull()) {
        strOut.clear();
        return true;
    }
    if (!value.isConvertibleTo(Json::stringValue) || value.isArray() || value.isObject()) {
        return false;
    }
    strOut = value.asString();
    return true;
}

bool asInt(const Json::Value& value, int& nOut)
{
    if (value.isNull()) {
        nOut = 0;
        return true;
    }
    if (value.isString()) {
        // jsoncpp refuses strings as integers; the platform sends numbers.
        return false;
    }
    if (!value.isConvertibleTo(Json::intValue)) {
        return false;
    }
    nOut = value.asInt();
    return true;
}

} // namespace

bool CJasonParse::ParseCodeMsg(const char* szText, int& nCode, QString& strMsg) const
{
    Json::Value root;
    if (!szText || !parseRoot(szText, root) || !root.isObject()) {
        return false;
    }
    int nParsedCode = 0;
    std::string strParsedMsg;
    if (!asInt(root["code"], nParsedCode) || !asText(root["msg"], strParsedMsg)) {
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
    if (!parseRoot(strText, root) || !root.isObject()) {
        return false;
    }
    std::string strParsedCode;
    if (!asText(root["code"], strParsedCode)) {
        return false;
    }
    strCode = strParsedCode;
    if (strCode != "200") {
        return false;
    }
    const Json::Value& data = root["data"];
    std::string strNewToken;
    std::string strNewRefresh;
    std::string strNewAccess;
    if (!data.isNull() && !data.isObject()) {
        return false;
    }
    if (data.isObject() &&
        (!asText(data["token"], strNewToken) || !asText(data["refreshToken"], strNewRefresh) ||
         !asText(data["accessToken"], strNewAccess))) {
        return false;
    }
    strToken = strNewToken;
    strRefreshToken = strNewRefresh;
    strAccessToken = strNewAccess;
    return true;
}

bool CJasonParse::ParsePermission(const std::string& strText, PermissionMap& table) const
{
    Json::Value root;
    if (!parseRoot(strText, root) || !root.isObject()) {
        return false;
    }
    std::string strCode;
    if (!asText(root["code"], strCode) || strCode != "200") {
        return false;
    }
    if (!root.isMember("data") || !root["data"].isArray()) {
        return false;
    }
    PermissionMap parsed;
    for (const Json::Value& element : root["data"]) {
        PERMISSION_ITEM item;
        if (!element.isObject() || !asInt(element["id"], item.id) || !asText(element["name"], item.name) ||
            !asInt(element["permission"], item.permission)) {
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
