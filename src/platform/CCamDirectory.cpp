#include "platform/CCamDirectory.h"

#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"

#include <json/json.h>

std::string CCamDirectory::OrgRequestBody()
{
    Json::Value body;
    body["clientType"] = 4;
    return CPlatformRequest::WriteJson(body);
}

std::string CCamDirectory::CamRequestBody(int nOrgId, int nPageNo, int nPageSize, const std::string& strName)
{
    Json::Value body;
    body["clientType"] = 4;
    body["orgId"] = nOrgId;
    body["pageNo"] = nPageNo;
    body["pageSize"] = nPageSize;
    body["channelName"] = strName;
    return CPlatformRequest::WriteJson(body);
}

bool CCamDirectory::TakeOrgReply(const std::string& strReply, std::string* pReason)
{
    return CJasonParse().ParseTopOrg(strReply, m_nTopOrgId, pReason);
}

bool CCamDirectory::TakeCamReply(const std::string& strReply, std::vector<std::string>& names,
                                 std::string* pReason)
{
    m_mapCam.clear();
    names.clear();
    std::vector<DEV_DETAIL_INFO> cameras;
    if (!CJasonParse().ParseCamList(strReply, cameras, pReason)) {
        return false;
    }
    for (const DEV_DETAIL_INFO& camera : cameras) {
        names.push_back(camera.channelName);
        m_mapCam.emplace(camera.channelName, CAM_ENTRY{camera.deviceSerial, camera.channelNo});
    }
    return true;
}

CCamDirectory::CAM_ENTRY CCamDirectory::DeviceFor(const std::string& strName) const
{
    if (strName.empty()) {
        return CAM_ENTRY();
    }
    const auto it = m_mapCam.find(strName);
    return it != m_mapCam.end() ? it->second : CAM_ENTRY{"-1", 0};
}
