// The token refresh reply.
#include "FuzzCheck.h"
#include "FuzzText.h"
#include "platform/CJasonParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string strToken = "t0", strRefresh = "r0", strAccess = "a0", strCode;
    if (CJasonParse().ParseToken(FuzzText(data, size), strToken, strRefresh, strAccess, strCode)) {
        // A success always leaves the login something to renew it by.
        FUZZ_CHECK(strCode == "200" && !strToken.empty() && !strRefresh.empty() && !strAccess.empty());
    } else {
        FUZZ_CHECK(strToken == "t0" && strRefresh == "r0" && strAccess == "a0");
    }
    return 0;
}
