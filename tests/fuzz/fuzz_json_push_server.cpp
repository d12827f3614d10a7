// The push-server address reply.
#include "FuzzCheck.h"
#include "FuzzText.h"
#include "platform/CJasonParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string strIp = "ip0";
    int nPort = -1;
    std::string strReason;
    if (CJasonParse().ParsePushServer(FuzzText(data, size), strIp, nPort, &strReason)) {
        FUZZ_CHECK(!strIp.empty() && nPort >= 1 && nPort <= 65535);
    } else {
        FUZZ_CHECK(strIp == "ip0" && nPort == -1 && !strReason.empty());
    }
    return 0;
}
