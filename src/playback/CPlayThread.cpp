#include "playback/CPlayThread.h"

#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "native/CrashApi.h"
#include "playback/CPlayErrorText.h"
#include "playback/CVideoSdk.h"

#include <QDateTime>
#include <QMetaType>
#include <QThread>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr qint64 kWindowHalfMs = 60000;
// The search call itself is bounded by the library (connect and read limits);
// closing waits no longer than this for one still in flight.
constexpr unsigned long kSearchJoinMs = 2000;

std::string WindowEdge(double dAlarmMs, qint64 nOffsetMs)
{
    const QDateTime edge = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(dAlarmMs) + nOffsetMs);
    return edge.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
}

} // namespace

CPlayThread::CPlayThread(QObject* pParent, CPlayOwner owner) : QObject(pParent), m_owner(std::move(owner))
{
    qRegisterMetaType<std::string>("std::string");
    // Every reported failure or end also stops the library's playback.
    connect(this, &CPlayThread::RecordPlayException, this, &CPlayThread::StopRecordPlay);
}

CPlayThread::~CPlayThread()
{
    // Freeing the session waits for the library's callbacks to finish, so
    // none can reach this object once it is gone; what they posted goes with it.
    CloseSearchSession();
    if (!m_strSessionId.empty()) {
        CVideoSdk::instance()->FreeSession(m_strSessionId);
        m_strSessionId.clear();
    }
    // A search thread holds only copies and deletes itself; a short wait lets
    // one that is nearly done finish before the window goes.
    for (const QPointer<QThread>& pThread : qAsConst(m_searchThreads)) {
        if (pThread && pThread->isRunning() && !pThread->wait(kSearchJoinMs)) {
            MC_LOG(5, "CPlayThread::~CPlayThread", "<%d>\t<%s>,search still running, left to finish alone");
        }
    }
}

void CPlayThread::SetPlayWnd(void* hWnd)
{
    m_hPlayWnd = hWnd;
}

void CPlayThread::InitSession()
{
    if (!m_strSessionId.empty()) {
        MC_LOG(5, "CPlayThread::InitSession", "<%d>\t<%s>,session exists:%s", m_strSessionId.c_str());
        return;
    }
    m_strSessionId = CVideoSdk::instance()->AllocSession(&CPlayThread::RecordMessageHandler, this);
    if (m_strSessionId.empty()) {
        MC_LOG(5, "CPlayThread::InitSession", "<%d>\t<%s>,AllocSession failed:%d",
               CVideoSdk::instance()->GetLastErrorCode());
        return;
    }
    CVideoSdk::instance()->SetDataCallBack(m_strSessionId, &CPlayThread::RecordDataHandler, this);
    MC_LOG(3, "CPlayThread::InitSession", "<%d>\t<%s>,session:%s", m_strSessionId.c_str());
}

void CPlayThread::SetAlarmTime(double dAlarmMs, QString strAlarmTime)
{
    m_strAlarmTime = strAlarmTime;
    m_strStartTime = WindowEdge(dAlarmMs, -kWindowHalfMs);
    m_strStopTime = WindowEdge(dAlarmMs, kWindowHalfMs);
    MC_LOG(3, "CPlayThread::SetAlarmTime", "<%d>\t<%s>,alarm:%s start:%s stop:%s",
           strAlarmTime.toLocal8Bit().constData(), m_strStartTime.c_str(), m_strStopTime.c_str());
}

void CPlayThread::SetCamInfo(std::string serial, int chNo)
{
    m_pCamSerial = serial;
    m_pCamChannelNo = chNo;
}

void CPlayThread::GetCamInfo(std::string& strDevKey, QString& strAlarmTime) const
{
    strDevKey = DevKey();
    strAlarmTime = m_strAlarmTime;
}

std::string CPlayThread::DevKey() const
{
    return m_pCamSerial + std::to_string(m_pCamChannelNo);
}

// ---------------------------------------------------------------- start and search

void CPlayThread::StartPlay(std::string strDevSerial, int nChannelNo, std::string strVerifyCode,
                            int nTrustType)
{
    MC_LOG(3, "CPlayThread::StartPlay", "<%d>\t<%s>,serial:%s channel:%d trust:%d", strDevSerial.c_str(),
           nChannelNo, nTrustType);
    m_strEncryptCode = strVerifyCode;
    SetCamInfo(strDevSerial, nChannelNo);
    PrepareNewStart();
    m_bPlayRequested = true;
    const LaunchValues values = LaunchValues::snapshot();
    CVideoSdk::instance()->SetAccessToken(nTrustType == 1 ? values.TrustAccessToken : values.AccessToken);

    ForgetFinishedSearches();
    const SearchRequest request = MakeSearchRequest();
    auto pOutcome = std::make_shared<SearchOutcome>();
    QThread* pThread = QThread::create([request, pOutcome] {
        CrashAPI_InitThread();
        *pOutcome = RunSearch(request);
    });
    // The thread never touches this object: its answer comes back through
    // finished, which dies with the worker if the worker goes first.
    const std::string strSearchSession = request.strSessionId;
    connect(pThread, &QThread::finished, this,
            [this, pOutcome, strSearchSession] { OnSearchDone(*pOutcome, strSearchSession); });
    connect(pThread, &QThread::finished, pThread, &QObject::deleteLater);
    m_searchThreads.append(pThread);
    pThread->start(QThread::InheritPriority);
}

void CPlayThread::StartRecordPlay()
{
    PrepareNewStart();
    m_bPlayRequested = true;
    const SearchRequest request = MakeSearchRequest();
    OnSearchDone(RunSearch(request), request.strSessionId);
}

// A new start ends what plays or is being started now; the stop message of
// that stream then finds the end flag cleared and is ignored.
void CPlayThread::PrepareNewStart()
{
    if (m_bHasFrame || m_bPlayRequested) {
        StopRecordPlay();
    }
    CloseSearchSession();
    // The last clip's on-screen time says nothing about this one.
    m_strOsdTime.clear();
    m_bIsToEndTime = false;
    m_bPause = false;
    m_bChaining = false;
    m_nPlaySegKey = -1;
    ++m_nPlayGen;
    m_strSearchSessionId = OpenSearchSession();
}

std::string CPlayThread::OpenSearchSession()
{
    if (m_strSessionId.empty()) {
        return std::string();
    }
    const std::string strId = CVideoSdk::instance()->AllocSession(&CPlayThread::RecordMessageHandler, this);
    if (strId.empty()) {
        // Answers then come on the playback session, unmatched but not lost.
        MC_LOG(5, "CPlayThread::OpenSearchSession", "<%d>\t<%s>,no search session:%d",
               CVideoSdk::instance()->GetLastErrorCode());
        return m_strSessionId;
    }
    return strId;
}

// Freeing the session ends its callbacks: an answer still on its way is never
// delivered.
void CPlayThread::CloseSearchSession()
{
    if (!m_strSearchSessionId.empty() && m_strSearchSessionId != m_strSessionId) {
        CVideoSdk::instance()->FreeSession(m_strSearchSessionId);
    }
    m_strSearchSessionId.clear();
}

CPlayThread::SearchRequest CPlayThread::MakeSearchRequest() const
{
    SearchRequest request;
    request.strSessionId = m_strSearchSessionId;
    request.strSerial = m_pCamSerial;
    request.nChannelNo = m_pCamChannelNo;
    request.strStartTime = m_strStartTime;
    request.strStopTime = m_strStopTime;
    return request;
}

CPlayThread::SearchOutcome CPlayThread::RunSearch(const SearchRequest& request)
{
    MC_LOG(3, "CPlayThread::RunSearch", "<%d>\t<%s>,serial:%s channel:%d", request.strSerial.c_str(),
           request.nChannelNo);
    SearchOutcome outcome;
    outcome.nResult =
        CVideoSdk::instance()->StartSearch(request.strSessionId, request.strSerial, request.nChannelNo,
                                           request.strStartTime, request.strStopTime);
    MC_LOG(3, "CPlayThread::RunSearch", "<%d>\t<%s>,start:%s stop:%s result:%d", request.strStartTime.c_str(),
           request.strStopTime.c_str(), outcome.nResult);
    if (outcome.nResult != 0) {
        // The library keeps its last error per thread: read it here.
        outcome.nErrorCode = CVideoSdk::instance()->GetLastErrorCode();
        outcome.strErrorDesc = CVideoSdk::instance()->GetLastErrorDesc();
    }
    return outcome;
}

void CPlayThread::OnSearchDone(const SearchOutcome& outcome, const std::string& strSearchSession)
{
    if (outcome.nResult == 0) {
        return; // the result arrives as message 20
    }
    MC_LOG(5, "CPlayThread::OnSearchDone", "<%d>\t<%s>,search failed:%d %s", outcome.nErrorCode,
           outcome.strErrorDesc.c_str());
    if (strSearchSession.empty() || strSearchSession != m_strSearchSessionId || !m_bPlayRequested) {
        MC_LOG(3, "CPlayThread::OnSearchDone", "<%d>\t<%s>,search of an earlier start, dropped");
        return;
    }
    CloseSearchSession();
    if (outcome.nErrorCode == OPENSDK_ERR_NO_CHANNEL) {
        emit RecordPlayException(QStringLiteral("通道不存在"));
        return;
    }
    if (outcome.nErrorCode == OPENSDK_ERR_SEARCHING) {
        MC_LOG(4, "CPlayThread::OnSearchDone", "<%d>\t<%s>,OPEN_SDK_VIDEO_RECORD_SEARCHING");
    }
    emit RecordPlayException(QStringLiteral("回放异常"));
}

void CPlayThread::ForgetFinishedSearches()
{
    for (int i = m_searchThreads.size() - 1; i >= 0; --i) {
        if (!m_searchThreads.at(i)) {
            m_searchThreads.removeAt(i);
        }
    }
}

void CPlayThread::OnRecordSearchSlot(const char* lparam)
{
    int nFileSize = 0;
    std::vector<RecordFile> files;
    if (!CRecordTable::ParseSearchResult(lparam, nFileSize, files)) {
        return;
    }
    MC_LOG(3, "CPlayThread::OnRecordSearchSlot", "<%d>\t<%s>,FileSize:%d", nFileSize);
    if (nFileSize <= 0) {
        emit RecordPlayException(QStringLiteral("该告警消息无录像"));
        return;
    }
    if (!StillSelected()) {
        MC_LOG(3, "CPlayThread::OnRecordSearchSlot", "<%d>\t<%s>,without m_pCamSerial:%s, m_pCamChannelNo:%d",
               m_pCamSerial.c_str(), m_pCamChannelNo);
        return;
    }
    if (!m_bPlayRequested) {
        MC_LOG(3, "CPlayThread::OnRecordSearchSlot", "<%d>\t<%s>,stopped while searching, result dropped");
        return;
    }
    std::vector<int> lengths;
    m_mapRecIdxSldTm = CRecordTable::Build(files, m_strStartTime, m_strStopTime, &lengths);
    MC_LOG(3, "CPlayThread::OnRecordSearchSlot", "<%d>\t<%s>,files:%d segments:%d",
           static_cast<int>(files.size()), static_cast<int>(m_mapRecIdxSldTm.size()));
    if (m_mapRecIdxSldTm.empty()) {
        // Files too short or outside the window: nothing will ever play.
        emit RecordPlayException(QStringLiteral("该告警消息无录像"));
        return;
    }
    for (int nLength : lengths) {
        emit SetRecordSliderLengthSignal(nLength);
    }
    const auto first = m_mapRecIdxSldTm.begin();
    PlaySegment(first->first, first->second.start, first->second.end);
}

bool CPlayThread::StillSelected() const
{
    return !m_owner.fnIsCurSel || m_owner.fnIsCurSel(m_pCamSerial, m_pCamChannelNo);
}

void CPlayThread::PlaySegment(int nKey, const std::string& strStart, const std::string& strEnd)
{
    m_nPlaySegKey = nKey;
    MC_LOG(3, "CPlayThread::PlaySegment", "<%d>\t<%s>,startPlayBackEx star:%s end:%s", strStart.c_str(),
           strEnd.c_str());
    const int nResult = CVideoSdk::instance()->StartPlayBack(
        m_strSessionId, m_hPlayWnd, m_pCamSerial, m_pCamChannelNo, m_strEncryptCode, strStart, strEnd);
    if (nResult != 0) {
        MC_LOG(5, "CPlayThread::PlaySegment", "<%d>\t<%s>,startPlayBackEx failed:%d code:%s",
               CVideoSdk::instance()->GetLastErrorCode(), logkit::mask(m_strEncryptCode).c_str());
    }
}

// ---------------------------------------------------------------- position, seek, pause, stop

bool CPlayThread::ReadOsdTime(int& nOsd)
{
    STREAM_TIME osd{};
    if (CVideoSdk::instance()->GetOSDTime(m_strSessionId, &osd) != 0) {
        return false;
    }
    char szTime[64];
    std::snprintf(szTime, sizeof(szTime), "%04d-%02d-%02d %02d:%02d:%02d", osd.iYear, osd.iMonth, osd.iDay,
                  osd.iHour, osd.iMinute, osd.iSecond);
    m_strOsdTime = szTime;
    MC_LOG(3, "CPlayThread::ReadOsdTime", "<%d>\t<%s>,osd:%s", szTime);
    nOsd = osd.iHour * 3600 + osd.iMinute * 60 + osd.iSecond;
    return true;
}

void CPlayThread::GetPlayTime()
{
    if (m_owner.fnIsNetBusy && m_owner.fnIsNetBusy()) {
        return;
    }
    if (m_owner.fnGetSel) {
        std::string strSelKey;
        QString strSelAlarmTime;
        m_owner.fnGetSel(strSelKey, strSelAlarmTime);
        if (strSelKey != DevKey() || strSelAlarmTime != m_strAlarmTime) {
            MC_LOG(3, "CPlayThread::GetPlayTime", "<%d>\t<%s>,selection moved to %s", strSelKey.c_str());
            StopRecordPlay();
            return;
        }
    }
    int nOsd = 0;
    if (!ReadOsdTime(nOsd) || nOsd <= 1) {
        return;
    }
    const CRecordTable::Position position = CRecordTable::Locate(m_mapRecIdxSldTm, nOsd);
    if (position.bBeforeFirst) {
        return;
    }
    if (position.bFound) {
        MC_LOG(3, "CPlayThread::GetPlayTime", "<%d>\t<%s>,nSldVaule:%d", position.nValue);
        emit UpdateRecordTimeSliderSignal(position.nValue);
    }
    const int nCount = static_cast<int>(m_mapRecIdxSldTm.size());
    MC_LOG(3, "CPlayThread::GetPlayTime", "<%d>\t<%s>,k:%d segments:%d", position.nIndex, nCount);
    if (position.bFound && CRecordTable::SecondsOfDay(position.strEnd) == nOsd) {
        ++m_nRecordNum;
        if (position.nIndex == nCount - 1) {
            MC_LOG(3, "CPlayThread::GetPlayTime", "<%d>\t<%s>,stopPlayBackEx");
            CVideoSdk::instance()->StopPlayBack(m_strSessionId);
            m_bIsToEndTime = true;
        }
    }
}

void CPlayThread::OnSliderPosClickedSlot(int value)
{
    m_bIsToEndTime = false;
    int nKey = -1;
    std::string strStart;
    if (!CRecordTable::SeekTarget(m_mapRecIdxSldTm, value, nKey, strStart)) {
        MC_LOG(3, "CPlayThread::OnSliderPosClickedSlot", "<%d>\t<%s>,no segment at %d", value);
        return;
    }
    m_bChaining = false;
    // The new stream plays, whatever the box showed; the window checks it.
    m_bPause = false;
    PlaySegment(nKey, strStart, m_mapRecIdxSldTm[nKey].end);
    emit SliderPressOrDrag();
}

void CPlayThread::OnSliderEndSlot()
{
    MC_LOG(3, "CPlayThread::OnSliderEndSlot", "<%d>\t<%s>,slider at its end");
    if (!m_bPlayRequested && !m_bHasFrame) {
        return;
    }
    emit RecordPlayException(QStringLiteral("回放结束"));
}

void CPlayThread::OnRecordPlayOrPauseSlot(bool flag)
{
    m_bPause = !flag;
    if (m_strSessionId.empty()) {
        return;
    }
    if (flag) {
        CVideoSdk::instance()->PlayBackResume(m_strSessionId);
        return;
    }
    CVideoSdk::instance()->PlayBackPause(m_strSessionId);
    MC_LOG(3, "CPlayThread::OnRecordPlayOrPauseSlot", "<%d>\t<%s>,emit HasFrameSignal(1,true)");
    emit HasFrameSignal(1, true);
}

void CPlayThread::StopRecordPlay()
{
    MC_LOG(3, "CPlayThread::StopRecordPlay", "<%d>\t<%s>,stopPlayBackEx before");
    m_bIsToEndTime = true;
    if (!m_strSessionId.empty()) {
        CVideoSdk::instance()->StopPlayBack(m_strSessionId);
    }
    // The library's stop returns once its threads are done (bounded), so the
    // clip is over now; its later stop message changes nothing.
    m_bHasFrame = false;
    m_bPause = false;
    m_bPlayRequested = false;
    m_nRecordNum = -1;
    m_bChaining = false;
    ++m_nPlayGen;
    CloseSearchSession();
}

// ---------------------------------------------------------------- library callbacks

void CPlayThread::RecordMessageHandler(const char* szSessionId, unsigned int iMsgType,
                                       unsigned int iErrorCode, const char* pMessageInfo, void* pUser)
{
    CrashAPI_InitThread(); // the library's threads reach the module here
    auto* pThis = static_cast<CPlayThread*>(pUser);
    if (!pThis || !szSessionId) {
        return;
    }
    // Which of the worker's sessions spoke is decided on its own thread.
    const std::string strSessionId(szSessionId);
    const bool bHasText = pMessageInfo != nullptr;
    std::string strText = bHasText ? std::string(pMessageInfo) : std::string();
    QMetaObject::invokeMethod(
        pThis,
        [pThis, strSessionId, iMsgType, iErrorCode, strText, bHasText] {
            pThis->OnRecordMessage(strSessionId, iMsgType, iErrorCode, strText, bHasText);
        },
        Qt::QueuedConnection);
}

void CPlayThread::RecordDataHandler(unsigned int enType, char* /*pData*/, unsigned int /*iLen*/, void* pUser)
{
    CrashAPI_InitThread();
    auto* pThis = static_cast<CPlayThread*>(pUser);
    if (!pThis) {
        return;
    }
    if (pThis->m_bHasFrame) {
        if (!pThis->m_bPause) {
            emit pThis->HasFrameSignal(1, false);
        }
        return;
    }
    if (enType != OPENSDK_DATA_FRAME || pThis->m_bFirstFramePosted.exchange(true)) {
        return;
    }
    // The owner's and the worker's state are read on the worker's thread.
    const int nGeneration = pThis->m_nPlayGen;
    QMetaObject::invokeMethod(
        pThis, [pThis, nGeneration] { pThis->OnFirstFrameData(nGeneration); }, Qt::QueuedConnection);
}

void CPlayThread::OnFirstFrameData(int nGeneration)
{
    m_bFirstFramePosted = false;
    if (nGeneration != m_nPlayGen || m_bHasFrame) {
        return;
    }
    if (m_owner.fnIsStartOverTime && m_owner.fnIsStartOverTime()) {
        return;
    }
    if (m_bPause) {
        return;
    }
    m_bHasFrame = true;
    MC_LOG(3, "CPlayThread::OnFirstFrameData", "<%d>\t<%s>,first frame %s", DevKey().c_str());
    emit RealPlayFirstFrameSignal(DevKey(), m_strEncryptCode, m_strAlarmTime);
}

void CPlayThread::OnRecordMessage(const std::string& strSessionId, unsigned int nType,
                                  unsigned int nErrorCode, const std::string& strText, bool bHasText)
{
    const bool bSearchAnswer = nType == OPENSDK_MSG_SEARCH_RESULT || nType == OPENSDK_MSG_SEARCH_FAILED;
    // A search answer counts only from the current start's search session,
    // anything else only from the playback session.
    const std::string& strExpected = bSearchAnswer ? m_strSearchSessionId : m_strSessionId;
    if (strExpected.empty() || strSessionId != strExpected) {
        MC_LOG(3, "CPlayThread::OnRecordMessage", "<%d>\t<%s>,message %d of an earlier start, dropped",
               static_cast<int>(nType));
        return;
    }
    MC_LOG(3, "CPlayThread::OnRecordMessage",
           "<%d>\t<%s>,RecordMessageHandler iMsgType = %d, iErrorCode = %d", static_cast<int>(nType),
           static_cast<int>(nErrorCode));
    if (bSearchAnswer) {
        CloseSearchSession();
    }
    switch (nType) {
    case OPENSDK_MSG_PLAY_FAILED:
        OnPlayFailed(strText, bHasText, nErrorCode);
        break;
    case 2:
        emit RecordPlayException(QStringLiteral("重连异常"));
        break;
    case OPENSDK_MSG_PLAY_STARTED:
        emit RecordStartSignal();
        break;
    case OPENSDK_MSG_PLAY_STOPPED:
        OnPlayStopped(nErrorCode);
        break;
    case OPENSDK_MSG_PLAY_END:
        OnPlayEnd();
        break;
    case OPENSDK_MSG_SEARCH_RESULT:
        if (bHasText) {
            OnRecordSearchSlot(strText.c_str());
        }
        break;
    case OPENSDK_MSG_SEARCH_FAILED:
        emit RecordPlayException(QStringLiteral("查询录像失败"));
        break;
    case OPENSDK_MSG_PLAY_ABNORMAL_END:
        emit RecordPlayException(QStringLiteral("回放异常结束"));
        break;
    default:
        break;
    }
}

void CPlayThread::OnPlayFailed(const std::string& strText, bool bHasText, unsigned int nErrorCode)
{
    const QString strMessage =
        CPlayErrorText::ForPlayFailure(bHasText ? strText.c_str() : nullptr, nErrorCode);
    if (!strMessage.isEmpty()) {
        emit RecordPlayException(strMessage);
    }
}

// The last segment's end against the on-screen time, with nSlack seconds'
// allowance; false while either time is unknown.
bool CPlayThread::ReachedLastSecond(int nSlack) const
{
    if (m_mapRecIdxSldTm.empty() || m_strOsdTime.empty()) {
        return false;
    }
    const int nLast = CRecordTable::SecondsOfDay(m_mapRecIdxSldTm.rbegin()->second.end);
    const int nOsd = CRecordTable::SecondsOfDay(m_strOsdTime);
    return nLast >= 0 && nOsd >= 0 && nLast - nSlack == nOsd;
}

void CPlayThread::OnPlayStopped(unsigned int nErrorCode)
{
    // The library says "stopped on request" also for a stream that a seek or a
    // new start replaced; only a stop this worker asked for ends the playback.
    if (nErrorCode == OPENSDK_ERR_PLAY_STOPPED_BY_USER && !m_bIsToEndTime) {
        return;
    }
    if (!m_bPlayRequested) {
        m_bHasFrame = false; // a stream this worker stopped itself
        return;
    }
    MC_LOG(3, "CPlayThread::OnPlayStopped", "<%d>\t<%s>,m_bIsToEndTime:%d", static_cast<int>(m_bIsToEndTime));
    if (m_bChaining && nErrorCode == 0) {
        m_bChaining = false; // the finished segment's stream; the next one plays on
        return;
    }
    if (ReachedLastSecond(0) || (m_bIsToEndTime && ReachedLastSecond(1)) || ReachedLastSecond(2)) {
        emit RecordPlayException(QStringLiteral("回放结束"));
        m_bIsToEndTime = false;
        m_nRecordNum = -1;
    }
    m_bHasFrame = false;
}

void CPlayThread::OnPlayEnd()
{
    MC_LOG(3, "CPlayThread::OnPlayEnd", "<%d>\t<%s>,m_bIsToEndTime:%d", static_cast<int>(m_bIsToEndTime));
    if (!m_bPlayRequested) {
        m_bHasFrame = false;
        return;
    }
    if (ChainNextSegment()) {
        return;
    }
    if (ReachedLastSecond(1) || ReachedLastSecond(2)) {
        emit RecordPlayException(QStringLiteral("回放结束"));
        m_bIsToEndTime = false;
        m_nRecordNum = -1;
    }
    m_bHasFrame = false;
}

// A segment before the last one ended: the clip goes on with the next.
bool CPlayThread::ChainNextSegment()
{
    if (m_bIsToEndTime || !m_bPlayRequested || m_nPlaySegKey < 0) {
        return false;
    }
    const auto next = m_mapRecIdxSldTm.upper_bound(m_nPlaySegKey);
    if (next == m_mapRecIdxSldTm.end()) {
        return false;
    }
    MC_LOG(3, "CPlayThread::ChainNextSegment", "<%d>\t<%s>,segment %d ended, next %d", m_nPlaySegKey,
           next->first);
    m_bChaining = true;
    PlaySegment(next->first, next->second.start, next->second.end);
    return true;
}
