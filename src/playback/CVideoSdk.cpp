#include "playback/CVideoSdk.h"

CVideoSdk* CVideoSdk::instance()
{
    static CVideoSdk sdk;
    return &sdk;
}

int CVideoSdk::Init(const std::string& strAppKey)
{
    OpenSDK_SetConfigInfo(OPENSDK_CFG_P2P_VERSION, 3);
    OpenSDK_SetConfigInfo(OPENSDK_CFG_LOG_LEVEL, 1);
    OpenSDK_SetConfigInfo(OPENSDK_CFG_STREAM_TRANS, 1);
    return OpenSDK_Init(strAppKey.c_str());
}

int CVideoSdk::SetAccessToken(const std::string& strAccessToken)
{
    return OpenSDK_SetAccessToken(strAccessToken.c_str());
}

int CVideoSdk::FiniLib()
{
    return OpenSDK_FiniLib();
}

std::string CVideoSdk::AllocSession(OpenSDK_MessageHandler pHandler, void* pUser)
{
    if (!pHandler) {
        return std::string();
    }
    char* pSessionId = nullptr;
    int nLength = 0;
    if (OpenSDK_AllocSessionEx(pHandler, pUser, &pSessionId, &nLength) != 0 || !pSessionId) {
        return std::string();
    }
    std::string strSessionId(pSessionId, nLength > 0 ? static_cast<size_t>(nLength) : 0);
    OpenSDK_Data_Free(pSessionId);
    return strSessionId;
}

int CVideoSdk::FreeSession(const std::string& strSessionId)
{
    return OpenSDK_FreeSession(strSessionId.c_str());
}

int CVideoSdk::SetDataCallBack(const std::string& strSessionId, OpenSDK_DataCallBack pHandler, void* pUser)
{
    if (!pHandler) {
        return -1;
    }
    return OpenSDK_SetDataCallBack(strSessionId.c_str(), pHandler, pUser);
}

int CVideoSdk::StartSearch(const std::string& strSessionId, const std::string& strDevSerial, int nChannelNo,
                           const std::string& strStartTime, const std::string& strStopTime)
{
    return OpenSDK_StartSearchExtend(strSessionId.c_str(), strDevSerial.c_str(), nChannelNo,
                                     strStartTime.c_str(), strStopTime.c_str(), 3);
}

int CVideoSdk::StartPlayBack(const std::string& strSessionId, void* hWnd, const std::string& strDevSerial,
                             int nChannelNo, const std::string& strSafeKey, const std::string& strStartTime,
                             const std::string& strStopTime)
{
    return OpenSDK_StartPlayBackEx(strSessionId.c_str(), hWnd, strDevSerial.c_str(), nChannelNo,
                                   strSafeKey.c_str(), strStartTime.c_str(), strStopTime.c_str());
}

int CVideoSdk::PlayBackPause(const std::string& strSessionId)
{
    return OpenSDK_PlayBackPause(strSessionId.c_str());
}

int CVideoSdk::PlayBackResume(const std::string& strSessionId)
{
    return OpenSDK_PlayBackResume(strSessionId.c_str());
}

int CVideoSdk::StopPlayBack(const std::string& strSessionId)
{
    return OpenSDK_StopPlayBackEx(strSessionId.c_str());
}

int CVideoSdk::GetOSDTime(const std::string& strSessionId, STREAM_TIME* pTime)
{
    if (!pTime) {
        return -1;
    }
    return OpenSDK_GetOSDTime(strSessionId.c_str(), pTime);
}

int CVideoSdk::StartDownload(const std::string& strSessionId, const std::string& strDevSerial, int nChannelNo,
                             const std::string& strSafeKey, const std::string& strStartTime,
                             const std::string& strStopTime, OpenSDK_DownloadCallBack pCallBack, void* pUser)
{
    if (!pCallBack) {
        return -1;
    }
    return OpenSDK_StartDownload(strSessionId.c_str(), strDevSerial.c_str(), nChannelNo, strSafeKey.c_str(),
                                 strStartTime.c_str(), strStopTime.c_str(), pCallBack, pUser);
}

int CVideoSdk::StopDownload(const std::string& strSessionId)
{
    return OpenSDK_StopDownload(strSessionId.c_str());
}

int CVideoSdk::DecryptPicture(const std::string& strAccessToken, const std::string& strPicUrl,
                              const std::string& strDevSerial, const std::string& strSafeKey, char** ppBuf,
                              int* pLen)
{
    if (!ppBuf || !pLen || strSafeKey.size() > kMaxSafeKeyLength) {
        return -1;
    }
    return OpenSDK_DecryptPicture(strAccessToken.c_str(), strPicUrl.c_str(), strDevSerial.c_str(),
                                  strSafeKey.c_str(), ppBuf, pLen);
}

int CVideoSdk::FetchPicture(const std::string& strAccessToken, const std::string& strPicUrl, char** ppBuf,
                            int* pLen, int* pMaxAge)
{
    if (!ppBuf || !pLen || !pMaxAge) {
        return -1;
    }
    return OpenSDK_FetchPicture(strAccessToken.c_str(), strPicUrl.c_str(), ppBuf, pLen, pMaxAge);
}

int CVideoSdk::DecryptPictureData(const char* pData, int nLen, const std::string& strSafeKey, char** ppBuf,
                                  int* pLen)
{
    if (!pData || !ppBuf || !pLen || strSafeKey.size() > kMaxSafeKeyLength) {
        return -1;
    }
    return OpenSDK_DecryptPictureData(pData, nLen, strSafeKey.c_str(), ppBuf, pLen);
}

int CVideoSdk::DataFree(void* pData)
{
    if (!pData) {
        return -1;
    }
    return OpenSDK_Data_Free(pData);
}

int CVideoSdk::GetLastErrorCode()
{
    return OpenSDK_GetLastErrorCode();
}

std::string CVideoSdk::GetLastErrorDesc()
{
    const char* szDesc = OpenSDK_GetLastErrorDesc();
    return szDesc ? std::string(szDesc) : std::string();
}
