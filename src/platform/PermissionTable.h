// The user's menu permissions, process-wide, filled from the platform's
// permission reply; menu id 9 is the message list.
#pragma once

#include <map>
#include <string>

struct PERMISSION_ITEM
{
    int id = 0;
    std::string name;
    int permission = 0;
};

using PermissionMap = std::map<int, PERMISSION_ITEM>;

// GUI thread only.
PermissionMap& PermissionTable();

constexpr int kMsgListMenuId = 9;
