// The camera directory behind the device filter: the organisation whose
// cameras are searched, and the cameras the last search offered, by the name
// the operator picks. Replies are read through CJasonParse (the safe reader).
#pragma once

#include <map>
#include <string>
#include <vector>

class CCamDirectory
{
public:
    // The device part of a search: channel -1 is no device filter.
    struct CAM_ENTRY
    {
        std::string deviceSerial;
        int channelNo = -1;
    };

    bool HasOrg() const { return m_nTopOrgId != -1; }
    int OrgId() const { return m_nTopOrgId; }

    // Request bodies of the organisation tree and of one page of the camera
    // search by name.
    static std::string OrgRequestBody();
    static std::string CamRequestBody(int nOrgId, int nPageNo, int nPageSize, const std::string& strName);

    // The organisation reply: its first organisation becomes the one searched.
    // False, the organisation kept, for a reply that is no organisation tree.
    bool TakeOrgReply(const std::string& strReply, std::string* pReason);

    // The camera reply replaces the cameras offered; their names, in the
    // reply's order, go to names (the first of a repeated name is the one
    // chosen by it). False for a reply that is no camera list: then nothing
    // is offered. The reason also names cameras left out.
    bool TakeCamReply(const std::string& strReply, std::vector<std::string>& names, std::string* pReason);

    // What a search filters by for the name in the device field: nothing for
    // an empty name, the camera for a name offered, and for a name never
    // offered a device that matches no message.
    CAM_ENTRY DeviceFor(const std::string& strName) const;

private:
    int m_nTopOrgId = -1;
    std::map<std::string, CAM_ENTRY> m_mapCam;
};
