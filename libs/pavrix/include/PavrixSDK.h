/*
 * PavrixSDK: the video library the alarm-message module reaches recordings and
 * encrypted pictures through. A small C interface; every string is 8-bit and
 * NUL-terminated. Functions return 0 on success and -1 on failure unless said
 * otherwise; after a failure OpenSDK_GetLastErrorCode() tells why (per thread).
 */
#ifndef PAVRIX_SDK_H
#define PAVRIX_SDK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define PAVRIX_API __declspec(dllexport)
#else
#define PAVRIX_API __attribute__((visibility("default")))
#endif

/* Message types delivered to the message callback. */
enum OpenSDK_MessageType
{
    OPENSDK_MSG_PLAY_FAILED = 0, /* error code (and sometimes a "UExxx" text) says why */
    OPENSDK_MSG_PLAY_STARTED = 3,
    OPENSDK_MSG_PLAY_STOPPED = 4,   /* by request or after the end of the span */
    OPENSDK_MSG_PLAY_END = 5,       /* the span's end was reached */
    OPENSDK_MSG_SEARCH_RESULT = 20, /* text: {"FileSize":n,"FileList":[{"StartTime":..,"EndTime":..}]} */
    OPENSDK_MSG_SEARCH_FAILED = 22,
    OPENSDK_MSG_PLAY_ABNORMAL_END = 28
};

/* Data types delivered to the data callback. */
enum OpenSDK_DataType
{
    OPENSDK_DATA_HEADER = 0,
    OPENSDK_DATA_FRAME = 1 /* one JPEG frame */
};

/* Events delivered to a clip download's callback. */
enum OpenSDK_DownloadEvent
{
    OPENSDK_DOWNLOAD_FRAME = 1, /* pData: one JPEG frame; iOsdMs: its on-screen time */
    OPENSDK_DOWNLOAD_END = 2,   /* the whole span has arrived; iOsdMs: where it ended */
    OPENSDK_DOWNLOAD_FAILED = 3 /* iErrorCode says why, pData a short text (may be NULL) */
};

/* Error codes (OpenSDK_GetLastErrorCode and message error codes). */
enum OpenSDK_ErrorCode
{
    OPENSDK_OK = 0,
    OPENSDK_ERR_NOT_INITIALISED = 100001,
    OPENSDK_ERR_BAD_PARAMETER = 100002,
    OPENSDK_ERR_NO_SESSION = 100003,
    OPENSDK_ERR_NETWORK = 100004,
    OPENSDK_ERR_BAD_REPLY = 100005,
    OPENSDK_ERR_NOT_PLAYING = 100006, /* no playback, or no picture shown yet */
    OPENSDK_ERR_SEARCHING = 200004,
    OPENSDK_ERR_PICTURE_CODE = 200006,
    OPENSDK_ERR_PICTURE_EXPIRED = 200008,
    OPENSDK_ERR_ACCESS_TOKEN = 310002,
    OPENSDK_ERR_NO_CHANNEL = 320001,
    OPENSDK_ERR_PLAY_CODE = 502012,
    OPENSDK_ERR_PLAY_STOPPED_BY_USER = 502028,
    OPENSDK_ERR_DEVICE_OFFLINE = 502604
};

/* Configuration keys for OpenSDK_SetConfigInfo. */
enum OpenSDK_ConfigKey
{
    OPENSDK_CFG_LOG_LEVEL = 2,    /* value: 0 off .. 5 verbose */
    OPENSDK_CFG_STREAM_TRANS = 3, /* value: 1 cloud relay */
    OPENSDK_CFG_P2P_VERSION = 4   /* value: protocol generation, kept for callers */
};

typedef struct STREAM_TIME
{
    int iYear;
    int iMonth;
    int iDay;
    int iHour;
    int iMinute;
    int iSecond;
} STREAM_TIME;

/* Called on an SDK thread. pMessageInfo may be NULL. */
typedef void (*OpenSDK_MessageHandler)(const char* szSessionId, unsigned int iMsgType,
                                       unsigned int iErrorCode, const char* pMessageInfo, void* pUser);
/* Called on an SDK thread; pData is valid only during the call. */
typedef void (*OpenSDK_DataCallBack)(unsigned int enType, char* pData, unsigned int iLen, void* pUser);
/* Called on the download's own thread, one call at a time; pData is valid only during
   the call. iOsdMs: milliseconds since the epoch (UTC). After END or FAILED nothing follows. */
typedef void (*OpenSDK_DownloadCallBack)(unsigned int iEvent, unsigned int iErrorCode, long long iOsdMs,
                                         const char* pData, unsigned int iLen, void* pUser);

PAVRIX_API int OpenSDK_SetConfigInfo(int key, int value);
PAVRIX_API int OpenSDK_Init(const char* szAppKey);
PAVRIX_API int OpenSDK_FiniLib(void);
PAVRIX_API int OpenSDK_SetAccessToken(const char* szAccessToken);

/* On success *pSessionId is a buffer the caller frees with OpenSDK_Data_Free. */
PAVRIX_API int OpenSDK_AllocSessionEx(OpenSDK_MessageHandler pHandle, void* pUser, char** pSessionId,
                                      int* iSessionLen);
PAVRIX_API int OpenSDK_FreeSession(const char* szSessionId);
PAVRIX_API int OpenSDK_SetDataCallBack(const char* szSessionId, OpenSDK_DataCallBack pDataFun, void* pUser);

/* Times "yyyy-MM-dd hh:mm:ss". The result arrives as message 20 (or 22). */
PAVRIX_API int OpenSDK_StartSearchExtend(const char* szSessionId, const char* szDevSerial, int iChannelNo,
                                         const char* szStartTime, const char* szStopTime, int iRecType);
/* hPlayWnd: the native window id frames are painted into (0: data callback only). */
PAVRIX_API int OpenSDK_StartPlayBackEx(const char* szSessionId, void* hPlayWnd, const char* szDevSerial,
                                       int iChannelNo, const char* szSafeKey, const char* szStartTime,
                                       const char* szStopTime);
PAVRIX_API int OpenSDK_PlayBackPause(const char* szSessionId);
PAVRIX_API int OpenSDK_PlayBackResume(const char* szSessionId);
PAVRIX_API int OpenSDK_StopPlayBackEx(const char* szSessionId);
PAVRIX_API int OpenSDK_GetOSDTime(const char* szSessionId, STREAM_TIME* pTime);

/* Fetches the frames of a span, as playback would show them, as fast as the cloud sends
   them: nothing is painted or paced, and a playback on the session goes on untouched. Each
   frame, then the end or the failure, goes to pCallBack. Returns at once; a download
   already running on the session is stopped first. A refusal (wrong code, offline device,
   no such channel) arrives as FAILED. */
PAVRIX_API int OpenSDK_StartDownload(const char* szSessionId, const char* szDevSerial, int iChannelNo,
                                     const char* szSafeKey, const char* szStartTime, const char* szStopTime,
                                     OpenSDK_DownloadCallBack pCallBack, void* pUser);
/* Ends the session's download; no callback of it starts after this returns (a running
   one is waited for, bounded). Freeing the session stops its download too. */
PAVRIX_API int OpenSDK_StopDownload(const char* szSessionId);

/* On success *pBuf holds the decrypted picture; free it with OpenSDK_Data_Free. */
PAVRIX_API int OpenSDK_DecryptPicture(const char* szAccessToken, const char* szPicUrl,
                                      const char* szDevSerial, const char* szSafeKey, char** pBuf, int* iLen);

/* For a caller that keeps pictures: the picture as the cloud stores it (an
 * encrypted one still encrypted) in *pBuf (free it with OpenSDK_Data_Free),
 * and in *iMaxAge the seconds the cloud lets it be kept (its Cache-Control
 * max-age, else its Expires), 0 when it must not be kept, -1 when the cloud
 * said nothing. Errors as OpenSDK_DecryptPicture. */
PAVRIX_API int OpenSDK_FetchPicture(const char* szAccessToken, const char* szPicUrl, char** pBuf, int* iLen,
                                    int* iMaxAge);
/* Decrypts a picture got from OpenSDK_FetchPicture; a plain one comes back as
 * it is. 200006: the code does not decrypt it; 100005: damaged. */
PAVRIX_API int OpenSDK_DecryptPictureData(const char* pData, int iDataLen, const char* szSafeKey, char** pBuf,
                                          int* iLen);

PAVRIX_API int OpenSDK_GetLastErrorCode(void);
PAVRIX_API const char* OpenSDK_GetLastErrorDesc(void);
PAVRIX_API int OpenSDK_Data_Free(void* pData);

#ifdef __cplusplus
}
#endif

#endif /* PAVRIX_SDK_H */
