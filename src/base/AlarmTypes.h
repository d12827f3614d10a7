// Records of the alarm-message query, passed by value between the window,
// the lists, the rows and the playback worker.
#pragma once

#include <QMetaType>
#include <QString>

#include <string>

struct HTTPMSG_BODY
{
    int pageNo = 1;
    int pageSize = 30;
    int isRead = 2;    // 0 unread only, 1 read only, 2 no filter
    int isEncrypt = 2; // 0 plain only, 1 encrypted only, 2 no filter
    std::string deviceSerial;
    int channelNo = -1; // -1: no device filter
    std::string alarmType;
    std::string startTime; // "yyyy-MM-dd hh:mm:ss", empty: none
    std::string endTime;
};

struct ALARM_INFO_STRUCT
{
    int id = -1;
    int saasUserId = -1;
    int userId = -1;
    std::string alarmType;
    std::string picUrl;
    QString alarmTimeText;
    double alarmTime = 0.0; // ms since the epoch, UTC
    std::string isEncrypted;
    std::string deviceSerial;
    std::string isRead; // "0": unread
    std::string deviceName;
    int channelNo = -1;
    double createDate = -1.0;
    std::string ipcValidateCode;
    std::string validateCode;
    int nTrust = -1;
};

Q_DECLARE_METATYPE(ALARM_INFO_STRUCT)
Q_DECLARE_METATYPE(std::string)
