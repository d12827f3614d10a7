// One camera channel of the organisation directory.
#pragma once

#include <QMetaType>

#include <string>

struct DEV_DETAIL_INFO
{
    std::string deviceSerial;
    int channelNo = -1;
    std::string channelName;
    std::string deviceName;
    std::string orgId;
};

Q_DECLARE_METATYPE(DEV_DETAIL_INFO)
