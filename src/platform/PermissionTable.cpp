#include "platform/PermissionTable.h"

PermissionMap& PermissionTable()
{
    static PermissionMap table;
    return table;
}
