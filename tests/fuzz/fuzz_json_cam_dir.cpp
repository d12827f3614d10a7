// The camera directory: the organisation tree's top and the camera search.
#include "Fuzz.h"
#include "platform/CJasonParse.h"

#include <vector>

FUZZ_TARGET
{
    const std::string strText = FuzzText(data, size);
    const CJasonParse parser;
    int nOrgId = -3;
    std::string strReason;
    if (!parser.ParseTopOrg(strText, nOrgId, &strReason))
        FUZZ_CHECK(nOrgId == -3 && !strReason.empty());
    std::vector<DEV_DETAIL_INFO> cameras(1);
    if (parser.ParseCamList(strText, cameras, &strReason)) {
        // Channel -1 would mean "every device" to the filter.
        for (const DEV_DETAIL_INFO& camera : cameras)
            FUZZ_CHECK(camera.channelNo >= 0);
    } else {
        FUZZ_CHECK(cameras.size() == 1 && !strReason.empty());
    }
}
