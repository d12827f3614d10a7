// The token refresh reply.
#include "Fuzz.h"
#include "platform/CJasonParse.h"

FUZZ_TARGET
{
    std::string strToken = "t0", strRefresh = "r0", strAccess = "a0", strCode;
    // A success always leaves the login something to renew it by.
    const bool bOk = CJasonParse().ParseToken(FuzzText(data, size), strToken, strRefresh, strAccess, strCode);
    FUZZ_CHECK(bOk ? strCode == "200" && !strToken.empty() && !strRefresh.empty() && !strAccess.empty()
                   : strToken == "t0" && strRefresh == "r0" && strAccess == "a0");
}
