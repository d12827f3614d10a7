#include "playback/CPlayThread.h"

#include "playback/CVideoSdk.h"
#include "shell/MessageClient.h"
#include "shell/ModuleLog.h"

CPlayThread::CPlayThread(MessageClient* pOwner) : QObject(pOwner), m_pOwner(pOwner) {}

CPlayThread::~CPlayThread()
{
    // Freeing the session waits for the library's callbacks to finish, so
    // none can reach this object once it is gone.
    if (!m_strSessionId.empty()) {
        CVideoSdk::instance()->FreeSession(m_strSessionId);
        m_strSessionId.clear();
    }
}

void CPlayThread::SetPlayWnd(void* hWnd)
{
    m_hPlayWnd = hWnd;
}

void CPlayThread::InitSession()
{
    m_strSessionId = CVideoSdk::instance()->AllocSession(&CPlayThread::RecordMessageHandler, this);
    if (m_strSessionId.empty()) {
        MC_LOG(5, "CPlayThread::InitSession", "<%d>\t<%s>,AllocSession failed:%d",
               CVideoSdk::instance()->GetLastErrorCode());
        return;
    }
    CVideoSdk::instance()->SetDataCallBack(m_strSessionId, &CPlayThread::RecordDataHandler, this);
    MC_LOG(3, "CPlayThread::InitSession", "<%d>\t<%s>,session:%s", m_strSessionId.c_str());
}

void CPlayThread::StopRecordPlay()
{
    MC_LOG(3, "CPlayThread::StopRecordPlay", "<%d>\t<%s>,stopPlayBackEx before");
    if (!m_strSessionId.empty()) {
        CVideoSdk::instance()->StopPlayBack(m_strSessionId);
    }
    m_bPause = false;
    m_bPlayRequested = false;
}

void CPlayThread::RecordMessageHandler(const char* szSessionId, unsigned int iMsgType,
                                       unsigned int iErrorCode, const char* /*pMessageInfo*/, void* pUser)
{
    auto* pThis = static_cast<CPlayThread*>(pUser);
    if (!pThis || !szSessionId || pThis->m_strSessionId != szSessionId) {
        return;
    }
    MC_LOG(3, "CPlayThread::RecordMessageHandler",
           "<%d>\t<%s>,RecordMessageHandler iMsgType = %d, iErrorCode = %d", static_cast<int>(iMsgType),
           static_cast<int>(iErrorCode));
    if (iMsgType == OPENSDK_MSG_PLAY_STOPPED) {
        pThis->m_bHasFrame = false;
    }
}

void CPlayThread::RecordDataHandler(unsigned int /*enType*/, char* /*pData*/, unsigned int /*iLen*/,
                                    void* pUser)
{
    if (!pUser) {
        return;
    }
}
