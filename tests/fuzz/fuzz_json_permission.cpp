// The menu-permission reply.
#include "Fuzz.h"
#include "platform/CJasonParse.h"

FUZZ_TARGET
{
    const CJasonParse parser;
    PermissionMap table;
    table[-7].name = "kept";
    if (parser.ParsePermission(FuzzText(data, size), table)) {
        for (const auto& entry : table)
            FUZZ_CHECK(entry.first == entry.second.id && parser.HasPermission(entry.first, table));
    } else {
        FUZZ_CHECK(table.size() == 1 && table.at(-7).name == "kept");
    }
}
