// What a message-list request carries: the tag of each list kind, the body
// the platform reads, and the criteria of the requests the window sends.
#pragma once

#include "base/AlarmTypes.h"

#include <QString>

#include <string>

class CMsgListQuery
{
public:
    // List kinds, as OnGetMsgList numbers them.
    static constexpr int kAll = 0;
    static constexpr int kUnread = 1;
    static constexpr int kSearch = 2;

    // "GetAllMsg", "GetNotReadMsg", "GetSearchMsg"; empty for any other kind.
    static QString Tag(int nType);
    // The kind of a tag; -1 for a request that is no list.
    static int TypeOf(const QString& strTag);

    // The request body: "clientType" 4, page and size, and each filter only
    // when it filters (no alarm type, encryption or read state 2, channel -1,
    // no times leave theirs out).
    static std::string Body(const HTTPMSG_BODY& criteria);

    // A page of the all list (no read filter) or of the unread list (unread
    // only), other filters none.
    static HTTPMSG_BODY Page(int nType, int nPageNo, int nPageSize);

    // Page 1 of a search: the time span, read and encryption filters as the
    // filter panel's choices number them (2 none), and the device.
    static HTTPMSG_BODY Search(const std::string& strStart, const std::string& strEnd, int nIsRead,
                               int nIsEncrypt, const std::string& strSerial, int nChannelNo);
};
