// The C interface: checks arguments, sets the calling thread's last error and
// keeps every C++ failure on this side of the boundary.
#include "PavrixSDK.h"

#include "ErrorState.h"
#include "PictureDecryptor.h"
#include "SdkContext.h"
#include "SdkLog.h"
#include "Session.h"
#include "TimeText.h"

#include <cstdint>
#include <exception>
#include <string>

using namespace pavrix;

namespace {

int fail(int code, const std::string& desc, const char* function)
{
    ErrorState::set(code, desc);
    PVX_WARN("%s failed: %d %s", function, code, desc.c_str());
    return -1;
}

int fail(const SdkError& error, const char* function)
{
    return fail(error.code, error.desc, function);
}

int succeed()
{
    ErrorState::clear();
    return 0;
}

template <typename Body>
int guarded(const char* function, Body body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        return fail(OPENSDK_ERR_BAD_REPLY, std::string("internal failure: ") + e.what(), function);
    } catch (...) {
        return fail(OPENSDK_ERR_BAD_REPLY, "internal failure", function);
    }
}

#define PVX_REQUIRE_INIT()                                                                                   \
    do {                                                                                                     \
        if (!SdkContext::instance().initialised())                                                           \
            return fail(OPENSDK_ERR_NOT_INITIALISED, "library not initialised", __func__);                   \
    } while (0)

#define PVX_REQUIRE(condition, what)                                                                         \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            return fail(OPENSDK_ERR_BAD_PARAMETER, what, __func__);                                          \
    } while (0)

// Looks the session up; on failure sets the last error and returns null.
std::shared_ptr<Session> sessionFor(const char* sessionId, const char* function)
{
    if (!SdkContext::instance().initialised()) {
        fail(OPENSDK_ERR_NOT_INITIALISED, "library not initialised", function);
        return nullptr;
    }
    if (!sessionId) {
        fail(OPENSDK_ERR_BAD_PARAMETER, "no session id", function);
        return nullptr;
    }
    auto session = SdkContext::instance().sessions().find(sessionId);
    if (!session)
        fail(OPENSDK_ERR_NO_SESSION, "no session " + std::string(sessionId), function);
    return session;
}

// One call on a session whose outcome is the call's result.
template <typename Call>
int onSession(const char* sessionId, const char* function, Call call)
{
    return guarded(function, [&] {
        auto session = sessionFor(sessionId, function);
        if (!session)
            return -1;
        const SdkError error = call(*session);
        return error.ok() ? succeed() : fail(error, function);
    });
}

bool validClip(const char* device, int channel, const char* start, const char* stop)
{
    return device && *device && channel >= 0 && start && stop && TimeText::isValid(start) &&
           TimeText::isValid(stop);
}

// One call about a span of a camera's recording on a session: the session looked
// up and the span checked first; playing and downloading also need the code.
template <typename Call>
int onClip(const char* sessionId, const char* function, const char* device, int channel, const char* start,
           const char* stop, const char* code, bool needsCode, Call call)
{
    return guarded(function, [&] {
        auto session = sessionFor(sessionId, function);
        if (!session)
            return -1;
        if (!validClip(device, channel, start, stop))
            return fail(OPENSDK_ERR_BAD_PARAMETER, "device, channel or times not valid", function);
        if (needsCode && !code)
            return fail(OPENSDK_ERR_BAD_PARAMETER, "no verification code", function);
        const ClipQuery query{device, channel, start, stop, code ? code : ""};
        auto& context = SdkContext::instance();
        const SdkError error = call(*session, query, *context.cloud(), context.accessToken());
        return error.ok() ? succeed() : fail(error, function);
    });
}

} // namespace

int OpenSDK_SetConfigInfo(int key, int value)
{
    return guarded(__func__, [&] {
        const SdkError error = SdkContext::instance().setConfig(key, value);
        return error.ok() ? succeed() : fail(error, __func__);
    });
}

int OpenSDK_Init(const char* szAppKey)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE(szAppKey && *szAppKey, "no app key");
        const SdkError error = SdkContext::instance().init(szAppKey);
        return error.ok() ? succeed() : fail(error, __func__);
    });
}

int OpenSDK_FiniLib(void)
{
    return guarded(__func__, [&] {
        const SdkError error = SdkContext::instance().fini();
        return error.ok() ? succeed() : fail(error, __func__);
    });
}

int OpenSDK_SetAccessToken(const char* szAccessToken)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE_INIT();
        PVX_REQUIRE(szAccessToken, "no access token");
        SdkContext::instance().setAccessToken(szAccessToken);
        return succeed();
    });
}

int OpenSDK_AllocSessionEx(OpenSDK_MessageHandler pHandle, void* pUser, char** pSessionId, int* iSessionLen)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE_INIT();
        PVX_REQUIRE(pSessionId && iSessionLen, "no place for the session id");
        auto session = std::make_shared<Session>(SessionRegistry::newId(), pHandle, pUser);
        char* buffer = SdkContext::instance().allocateBuffer(session->id());
        if (!buffer)
            return fail(OPENSDK_ERR_BAD_REPLY, "out of memory", __func__);
        SdkContext::instance().sessions().add(session);
        *pSessionId = buffer;
        *iSessionLen = static_cast<int>(session->id().size());
        PVX_INFO("session %s allocated", session->id().c_str());
        return succeed();
    });
}

int OpenSDK_FreeSession(const char* szSessionId)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE_INIT();
        PVX_REQUIRE(szSessionId, "no session id");
        auto session = SdkContext::instance().sessions().remove(szSessionId);
        if (!session)
            return fail(OPENSDK_ERR_NO_SESSION, "no session " + std::string(szSessionId), __func__);
        session->close();
        PVX_INFO("session %s freed", szSessionId);
        return succeed();
    });
}

int OpenSDK_SetDataCallBack(const char* szSessionId, OpenSDK_DataCallBack pDataFun, void* pUser)
{
    return onSession(szSessionId, __func__, [&](Session& session) {
        session.setDataCallback(pDataFun, pUser);
        return SdkError::none();
    });
}

int OpenSDK_StartSearchExtend(const char* szSessionId, const char* szDevSerial, int iChannelNo,
                              const char* szStartTime, const char* szStopTime, int iRecType)
{
    return onClip(
        szSessionId, __func__, szDevSerial, iChannelNo, szStartTime, szStopTime, nullptr, false,
        [&](Session& session, const ClipQuery& query, const CloudClient& cloud, const std::string& token) {
            PVX_INFO("search %s/%d %s..%s (type %d)", szDevSerial, iChannelNo, szStartTime, szStopTime,
                     iRecType);
            return session.search(cloud, query, token);
        });
}

int OpenSDK_StartPlayBackEx(const char* szSessionId, void* hPlayWnd, const char* szDevSerial, int iChannelNo,
                            const char* szSafeKey, const char* szStartTime, const char* szStopTime)
{
    return onClip(
        szSessionId, __func__, szDevSerial, iChannelNo, szStartTime, szStopTime, szSafeKey, true,
        [&](Session& session, const ClipQuery& query, const CloudClient& cloud, const std::string& token) {
            PVX_INFO("play %s/%d %s..%s code %s", szDevSerial, iChannelNo, szStartTime, szStopTime,
                     SdkLog::mask(szSafeKey).c_str());
            const auto window = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(hPlayWnd));
            return session.play(cloud, query, token, window);
        });
}

int OpenSDK_PlayBackPause(const char* szSessionId)
{
    return onSession(szSessionId, __func__, [](Session& session) { return session.pause(); });
}

int OpenSDK_PlayBackResume(const char* szSessionId)
{
    return onSession(szSessionId, __func__, [](Session& session) { return session.resume(); });
}

int OpenSDK_StopPlayBackEx(const char* szSessionId)
{
    return onSession(szSessionId, __func__, [](Session& session) {
        session.stop();
        return SdkError::none();
    });
}

int OpenSDK_GetOSDTime(const char* szSessionId, STREAM_TIME* pTime)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE(pTime, "no place for the time");
        auto session = sessionFor(szSessionId, __func__);
        if (!session)
            return -1;
        std::int64_t ms = 0;
        const SdkError error = session->osdTime(&ms);
        if (!error.ok()) {
            ErrorState::set(error);
            return -1; // routine while waiting for the first picture: no log line
        }
        TimeText::toLocalFields(ms, pTime);
        return succeed();
    });
}

int OpenSDK_StartDownload(const char* szSessionId, const char* szDevSerial, int iChannelNo,
                          const char* szSafeKey, const char* szStartTime, const char* szStopTime,
                          OpenSDK_DownloadCallBack pCallBack, void* pUser)
{
    return onClip(szSessionId, __func__, szDevSerial, iChannelNo, szStartTime, szStopTime, szSafeKey, true,
                  [&](Session& session, const ClipQuery& query, const CloudClient& cloud,
                      const std::string& token) -> SdkError {
                      if (!pCallBack)
                          return {OPENSDK_ERR_BAD_PARAMETER, "no download callback"};
                      PVX_INFO("download %s/%d %s..%s code %s", szDevSerial, iChannelNo, szStartTime,
                               szStopTime, SdkLog::mask(szSafeKey).c_str());
                      return session.download(cloud, query, token, pCallBack, pUser);
                  });
}

int OpenSDK_StopDownload(const char* szSessionId)
{
    return onSession(szSessionId, __func__, [](Session& session) {
        session.stopDownload();
        return SdkError::none();
    });
}

int OpenSDK_DecryptPicture(const char* szAccessToken, const char* szPicUrl, const char* szDevSerial,
                           const char* szSafeKey, char** pBuf, int* iLen)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE_INIT();
        PVX_REQUIRE(szAccessToken && szPicUrl && szDevSerial && szSafeKey && pBuf && iLen,
                    "missing argument");
        *pBuf = nullptr;
        *iLen = 0;
        auto& context = SdkContext::instance();
        std::string picture;
        const SdkError error =
            PictureDecryptor(context.cloud()->fetcher()).fetch(szAccessToken, szPicUrl, szSafeKey, &picture);
        if (!error.ok()) {
            ErrorState::set(error); // the download already logged why
            return -1;
        }
        char* buffer = context.allocateBuffer(picture);
        if (!buffer)
            return fail(OPENSDK_ERR_BAD_REPLY, "out of memory", __func__);
        *pBuf = buffer;
        *iLen = static_cast<int>(picture.size());
        PVX_DEBUG("picture of %s decrypted, %zu bytes", szDevSerial, picture.size());
        return succeed();
    });
}

namespace {

// The bytes in a buffer of the library, for the caller to free.
int handOver(const std::string& bytes, char** pBuf, int* iLen, const char* function)
{
    char* buffer = SdkContext::instance().allocateBuffer(bytes);
    if (!buffer)
        return fail(OPENSDK_ERR_BAD_REPLY, "out of memory", function);
    *pBuf = buffer;
    *iLen = static_cast<int>(bytes.size());
    return succeed();
}

} // namespace

int OpenSDK_FetchPicture(const char* szAccessToken, const char* szPicUrl, char** pBuf, int* iLen,
                         int* iMaxAge)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE_INIT();
        PVX_REQUIRE(szAccessToken && szPicUrl && pBuf && iLen && iMaxAge, "missing argument");
        *pBuf = nullptr;
        *iLen = 0;
        *iMaxAge = -1;
        std::string body;
        const SdkError error = PictureDecryptor(SdkContext::instance().cloud()->fetcher())
                                   .download(szAccessToken, szPicUrl, &body, iMaxAge);
        if (!error.ok()) {
            ErrorState::set(error);
            return -1;
        }
        return handOver(body, pBuf, iLen, __func__);
    });
}

int OpenSDK_DecryptPictureData(const char* pData, int iDataLen, const char* szSafeKey, char** pBuf, int* iLen)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE(pData && iDataLen > 0 && szSafeKey && pBuf && iLen, "missing argument");
        PVX_REQUIRE(static_cast<std::size_t>(iDataLen) <= PictureDecryptor::kMaxPictureBytes,
                    "picture too large");
        *pBuf = nullptr;
        *iLen = 0;
        std::string picture;
        const SdkError error = PictureDecryptor::decode(
            std::string(pData, static_cast<std::size_t>(iDataLen)), szSafeKey, &picture);
        if (!error.ok())
            return fail(error, __func__);
        return handOver(picture, pBuf, iLen, __func__);
    });
}

int OpenSDK_GetLastErrorCode(void)
{
    return ErrorState::code();
}

const char* OpenSDK_GetLastErrorDesc(void)
{
    return ErrorState::desc();
}

int OpenSDK_Data_Free(void* pData)
{
    return guarded(__func__, [&] {
        PVX_REQUIRE(pData, "no buffer");
        if (!SdkContext::instance().freeBuffer(pData))
            return fail(OPENSDK_ERR_BAD_PARAMETER, "not a buffer of this library, or freed already",
                        __func__);
        return succeed();
    });
}
