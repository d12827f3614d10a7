// The module's one way into the video library: each method wraps one call,
// refuses null pointers with -1 and hands strings over as 8-bit text.
#pragma once

#include "PavrixSDK.h"

#include <string>

class CVideoSdk
{
public:
    static CVideoSdk* instance();

    // Start-up with the application key and access token; results ignored by
    // the caller, returned for the log.
    int Init(const std::string& strAppKey);
    int SetAccessToken(const std::string& strAccessToken);
    int FiniLib();

    // The session id, or empty when the library refused one.
    std::string AllocSession(OpenSDK_MessageHandler pHandler, void* pUser);
    int FreeSession(const std::string& strSessionId);
    int SetDataCallBack(const std::string& strSessionId, OpenSDK_DataCallBack pHandler, void* pUser);

    int StartSearch(const std::string& strSessionId, const std::string& strDevSerial, int nChannelNo,
                    const std::string& strStartTime, const std::string& strStopTime);
    int StartPlayBack(const std::string& strSessionId, void* hWnd, const std::string& strDevSerial,
                      int nChannelNo, const std::string& strSafeKey, const std::string& strStartTime,
                      const std::string& strStopTime);
    int PlayBackPause(const std::string& strSessionId);
    int PlayBackResume(const std::string& strSessionId);
    int StopPlayBack(const std::string& strSessionId);
    int GetOSDTime(const std::string& strSessionId, STREAM_TIME* pTime);
    // A span's frames, unpainted and as fast as they come, to pCallBack.
    int StartDownload(const std::string& strSessionId, const std::string& strDevSerial, int nChannelNo,
                      const std::string& strSafeKey, const std::string& strStartTime,
                      const std::string& strStopTime, OpenSDK_DownloadCallBack pCallBack, void* pUser);
    int StopDownload(const std::string& strSessionId);

    // 0 with *ppBuf set on success; free the buffer with DataFree.
    int DecryptPicture(const std::string& strAccessToken, const std::string& strPicUrl,
                       const std::string& strDevSerial, const std::string& strSafeKey, char** ppBuf,
                       int* pLen);
    // The picture as stored (still encrypted) and the seconds it may be kept
    // (-1 unknown, 0 not at all); decrypting such bytes needs no network.
    int FetchPicture(const std::string& strAccessToken, const std::string& strPicUrl, char** ppBuf, int* pLen,
                     int* pMaxAge);
    int DecryptPictureData(const char* pData, int nLen, const std::string& strSafeKey, char** ppBuf,
                           int* pLen);
    int DataFree(void* pData);

    int GetLastErrorCode();
    std::string GetLastErrorDesc();

    // The library keeps a code only this long (the buffer it copies into).
    static constexpr size_t kMaxSafeKeyLength = 31;

private:
    CVideoSdk() = default;
};
