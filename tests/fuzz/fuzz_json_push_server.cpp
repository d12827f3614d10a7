// The push-server address reply.
#include "Fuzz.h"
#include "platform/CJasonParse.h"

FUZZ_TARGET
{
    std::string strIp = "ip0";
    int nPort = -1;
    std::string strReason;
    const bool bOk = CJasonParse().ParsePushServer(FuzzText(data, size), strIp, nPort, &strReason);
    FUZZ_CHECK(bOk ? !strIp.empty() && nPort >= 1 && nPort <= 65535
                   : strIp == "ip0" && nPort == -1 && !strReason.empty());
}
