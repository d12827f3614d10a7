// Turns platform reply texts into plain values. Stateless, callable on a bare
// text; everything goes through the one safe reader (CSafeJson), so a reply
// that is not JSON, nests too deep, holds a number that does not fit or a
// member of the wrong type is a failed parse, never an exception.
#pragma once

#include "platform/DevDetailInfo.h"
#include "platform/PermissionTable.h"

#include <QString>

#include <string>
#include <vector>

class CJasonParse
{
public:
    // Integer "code" (0 when missing) and text "msg"; false for a null or
    // unparseable text, outputs untouched.
    bool ParseCodeMsg(const char* szText, int& nCode, QString& strMsg) const;

    // "code" as text into strCode; with "200" and a non-empty token and
    // refresh token in "data", the tokens and true. The open-platform token
    // is written only when the reply carries one.
    bool ParseToken(std::string strText, std::string& strToken, std::string& strRefreshToken,
                    std::string& strAccessToken, std::string& strCode) const;

    // "data" array into the table, first of each id wins; false (table kept)
    // unless "code" is "200" and "data" is an array of well-formed items.
    bool ParsePermission(const std::string& strText, PermissionMap& table) const;

    bool HasPermission(int nMenuId, const PermissionMap& table) const;

    // Camera information: "code" the text "200", "data" an object with a text
    // "deviceSerial" and an integer "channelNo"; nTrust is "isTrust" (0 when
    // absent). False with the reason otherwise, outputs untouched.
    bool ParseCamInfo(const std::string& strText, std::string& strSerial, int& nChannelNo, int& nTrust,
                      std::string* pReason = nullptr) const;

    // Organisation tree: true for "code" "200" with a "data" array; the first
    // element's integer "id", when there is one, goes to nOrgId.
    bool ParseTopOrg(const std::string& strText, int& nOrgId, std::string* pReason = nullptr) const;

    // Camera search: true for "code" "200" with a "data" array; every element
    // with a "channelName" and a usable camera (text serial, channel >= 0)
    // goes to cameras, in order. Unusable elements are skipped and named in
    // the reason.
    bool ParseCamList(const std::string& strText, std::vector<DEV_DETAIL_INFO>& cameras,
                      std::string* pReason = nullptr) const;

    // Push server address, without envelope: a non-empty text "ip" and an
    // integer "port" in 1..65535.
    bool ParsePushServer(const std::string& strText, std::string& strIp, int& nPort,
                         std::string* pReason = nullptr) const;
};
