// The launch string the host writes: "Key:value" items joined by ';', and
// the keys whose value is plain text kept as a launch value.
#pragma once

#include <QString>

#include <string>
#include <utility>
#include <vector>

class CLaunchString
{
public:
    // The items as key and value, in order, in the local 8-bit code page; an
    // item without a colon is skipped.
    static std::vector<std::pair<std::string, std::string>> Split(const QString& strCmdLine);

    // A key whose value is plain text: a value is stored as its launch value,
    // an empty one gets the key's log line (some keys have none). False for
    // any other key, nothing done.
    static bool StoreTextKey(const std::string& strKey, const std::string& strValue);
};
