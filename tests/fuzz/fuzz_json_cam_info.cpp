// The camera-information reply (serial, channel, trust of an alarm's camera).
#include "Fuzz.h"
#include "platform/CJasonParse.h"

FUZZ_TARGET
{
    std::string strSerial = "s0";
    int nChannel = -9, nTrust = -9;
    std::string strReason;
    if (!CJasonParse().ParseCamInfo(FuzzText(data, size), strSerial, nChannel, nTrust, &strReason))
        FUZZ_CHECK(strSerial == "s0" && nChannel == -9 && nTrust == -9 && !strReason.empty());
}
