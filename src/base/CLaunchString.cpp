#include "base/CLaunchString.h"

#include "base/LaunchValues.h"
#include "base/ModuleLog.h"

#include <QByteArrayList>

namespace {

// A text key, its launch value, and the line an empty value gets (level 0:
// no line of its own).
struct TextKey
{
    const char* szKey;
    std::string LaunchValues::*pField;
    int nLevel;
    const char* szEmptyLog;
};

const TextKey kTextKeys[] = {
    {"Token", &LaunchValues::Token, 3, "<%d>\t<%s>,Token:NULL"},
    {"RefreshToken", &LaunchValues::RefreshToken, 0, nullptr},
    {"ServerUrl", &LaunchValues::ServerUrl, 3, "<%d>\t<%s>,ServerUrl:NULL"},
    {"Appkey", &LaunchValues::Appkey, 3, "<%d>\t<%s>,Appkey:NULL"},
    {"AccessToken", &LaunchValues::AccessToken, 3, "<%d>\t<%s>,AccessToken:NULL"},
    {"TrustAccessToken", &LaunchValues::TrustAccessToken, 5,
     "<%d>\t<%s>,---CmdLine Trust AccessToken Is Empty"},
    {"AesKey", &LaunchValues::AesKey, 3, "<%d>\t<%s>,AesKey:NULL"},
};

} // namespace

std::vector<std::pair<std::string, std::string>> CLaunchString::Split(const QString& strCmdLine)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (const QByteArray& item : strCmdLine.toLocal8Bit().split(';')) {
        const int nColon = item.indexOf(':');
        if (nColon < 0) {
            continue;
        }
        items.emplace_back(item.left(nColon).toStdString(), item.mid(nColon + 1).toStdString());
    }
    return items;
}

bool CLaunchString::StoreTextKey(const std::string& strKey, const std::string& strValue)
{
    for (const TextKey& key : kTextKeys) {
        if (strKey != key.szKey) {
            continue;
        }
        if (strValue.empty()) {
            if (key.szEmptyLog) {
                MC_LOG(key.nLevel, "MessageClient::ParseCmdLine", key.szEmptyLog);
            }
            return true;
        }
        LaunchValues::update([&](LaunchValues& values) { values.*(key.pField) = strValue; });
        return true;
    }
    return false;
}
