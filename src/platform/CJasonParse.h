// Turns platform reply texts into plain values. Stateless; a reply whose
// members have unexpected types is a failed parse, never an exception.
#pragma once

#include "platform/PermissionTable.h"

#include <QString>

#include <string>

class CJasonParse
{
public:
    // Integer "code" (0 when missing) and text "msg"; false for a null or
    // unparseable text, outputs untouched.
    bool ParseCodeMsg(const char* szText, int& nCode, QString& strMsg) const;

    // "code" as text into strCode; with "200" the three tokens of "data"
    // (missing ones empty) and true.
    bool ParseToken(std::string strText, std::string& strToken, std::string& strRefreshToken,
                    std::string& strAccessToken, std::string& strCode) const;

    // "data" array into the table, first of each id wins; false (table kept)
    // unless "code" is "200" and "data" is an array.
    bool ParsePermission(const std::string& strText, PermissionMap& table) const;

    bool HasPermission(int nMenuId, const PermissionMap& table) const;
};
