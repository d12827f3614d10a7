// Plays the recorded clip of one alarm through the video library: owns the
// module's single playback session, searches the recordings around the alarm,
// lays them on one slider scale, follows the on-screen time and serves seek,
// pause, resume and stop.
//
// Threads: the library calls back on its own threads; those callbacks only
// copy what they got and post it to this object's thread (the window's), where
// the segment table, the flags and the owner are used. The search request runs
// on a short-lived thread of its own that never touches this object.
#pragma once

#include "playback/CRecordTable.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <string>

class QThread;

// What the worker asks of the window that owns it. The window lives above this
// folder and answers through these calls; a worker without them (tests, tools)
// skips the owner's checks.
struct CPlayOwner
{
    std::function<bool()> fnIsNetBusy;
    // Has the panel given up waiting for the first frame?
    std::function<bool()> fnIsStartOverTime;
    // Is this camera still the selected alarm's?
    std::function<bool(const std::string& strDevSerial, int nChannelNo)> fnIsCurSel;
    // The selected alarm's device key and alarm time.
    std::function<void(std::string& strDevKey, QString& strAlarmTime)> fnGetSel;
};

class CPlayThread : public QObject
{
    Q_OBJECT
public:
    explicit CPlayThread(QObject* pParent, CPlayOwner owner = {});
    ~CPlayThread() override;

    void SetPlayWnd(void* hWnd);
    void InitSession();
    // One minute either side of the alarm (ms since the epoch).
    void SetAlarmTime(double dAlarmMs, QString strAlarmTime);
    // Returns at once; the search runs on its own thread.
    void StartPlay(std::string strDevSerial, int nChannelNo, std::string strVerifyCode, int nTrustType);
    void StopRecordPlay();
    // Position tracking, on the owner's timer while IsRecordPlaying().
    void GetPlayTime();
    bool IsRecordPlaying() const { return m_bHasFrame; }
    bool IsPlayRequested() const { return m_bPlayRequested; }
    // The operator paused the clip; data blocks still in flight do not count.
    bool IsPaused() const { return m_bPause; }
    void GetCamInfo(std::string& strDevKey, QString& strAlarmTime) const;

    void OnSliderPosClickedSlot(int value);
    void OnRecordPlayOrPauseSlot(bool flag);
    // The slider's end: the clip ends as at the end of its span.
    void OnSliderEndSlot();

    const std::string& SessionId() const { return m_strSessionId; }
    const std::string& SearchStartTime() const { return m_strStartTime; }
    const std::string& SearchStopTime() const { return m_strStopTime; }
    const std::string& OsdTime() const { return m_strOsdTime; }
    const RecordSegmentMap& Segments() const { return m_mapRecIdxSldTm; }
    int RecordNum() const { return m_nRecordNum; }

    // The library's callbacks; pUser is the worker.
    static void RecordMessageHandler(const char* szSessionId, unsigned int iMsgType, unsigned int iErrorCode,
                                     const char* pMessageInfo, void* pUser);
    static void RecordDataHandler(unsigned int enType, char* pData, unsigned int iLen, void* pUser);

public slots:
    // Runs the search on the calling thread; StartPlay runs it off the GUI thread.
    void StartRecordPlay();
    void SetCamInfo(std::string serial, int chNo = 1);
    // The library's search result; on this object's thread.
    void OnRecordSearchSlot(const char* lparam);

signals:
    void RealPlayFirstFrameSignal(std::string devSerial, std::string devEncryptCode, QString strAlarmTm);
    void UpdateRecordTimeSliderSignal(int value);
    void RecordPlayException(QString strMsg);
    void SetRecordSliderLengthSignal(int value);
    void HasFrameSignal(int type, bool flag = false);
    void SliderPressOrDrag();
    void RecordStartSignal();

private:
    struct SearchRequest
    {
        std::string strSessionId; // the search's own session
        std::string strSerial;
        int nChannelNo = 1;
        std::string strStartTime;
        std::string strStopTime;
    };
    struct SearchOutcome
    {
        int nResult = -1;
        int nErrorCode = 0;
        std::string strErrorDesc;
    };

    SearchRequest MakeSearchRequest() const;
    static SearchOutcome RunSearch(const SearchRequest& request);
    void OnSearchDone(const SearchOutcome& outcome, const std::string& strSearchSession);
    void PrepareNewStart();
    void ForgetFinishedSearches();
    std::string OpenSearchSession();
    void CloseSearchSession();

    void OnRecordMessage(const std::string& strSessionId, unsigned int nType, unsigned int nErrorCode,
                         const std::string& strText, bool bHasText);
    void OnPlayFailed(const std::string& strText, bool bHasText, unsigned int nErrorCode);
    void OnPlayStopped(unsigned int nErrorCode);
    void OnPlayEnd();
    bool ReachedLastSecond(int nSlack) const;
    bool ChainNextSegment();
    void OnFirstFrameData(int nGeneration);

    void PlaySegment(int nKey, const std::string& strStart, const std::string& strEnd);
    bool StillSelected() const;
    bool ReadOsdTime(int& nOsd);
    std::string DevKey() const;

    void* m_hPlayWnd = nullptr;
    std::string m_pCamSerial;
    int m_pCamChannelNo = 1;
    std::string m_strSessionId;
    std::string m_strEncryptCode;
    std::string m_strStartTime;
    std::string m_strStopTime;
    QString m_strAlarmTime;
    std::atomic<bool> m_bPlayRequested{false};
    std::atomic<bool> m_bHasFrame{false};
    std::atomic<bool> m_bPause{false};
    std::atomic<bool> m_bIsToEndTime{false};
    CPlayOwner m_owner;
    RecordSegmentMap m_mapRecIdxSldTm;
    int m_nRecordNum = -1;
    std::string m_strOsdTime;

    // Key of the segment the library is playing; -1 when none.
    int m_nPlaySegKey = -1;
    // A segment's end started the next one: the library's stop message that
    // follows belongs to the finished stream.
    bool m_bChaining = false;
    // Bumped at every stop and start, so that late first-frame notices of an
    // earlier start are dropped.
    std::atomic<int> m_nPlayGen{0};
    // Each start searches on a session of its own, so that an answer names the
    // start that asked for it; empty when no search is outstanding.
    std::string m_strSearchSessionId;
    std::atomic<bool> m_bFirstFramePosted{false};
    QList<QPointer<QThread>> m_searchThreads;
};
