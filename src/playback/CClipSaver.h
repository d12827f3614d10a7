// Saves the recorded span of one alarm into a video file: the video library
// fetches the span's frames from the device cloud as fast as they come, on its
// own thread, and CClipWriter puts them into a temporary file beside the
// target, which is renamed to the target only once the whole span is in. A
// cancelled or failed save removes the temporary file; nothing of it stays.
//
// Threads: the library's download thread writes the file; the GUI thread only
// starts, cancels and hears the outcome, through queued calls.
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class CClipSaver : public QObject
{
    Q_OBJECT
public:
    enum Result
    {
        Saved,
        Cancelled,
        Failed,   // the library, the cloud or the file failed; strReason says which
        DiskFull, // the file system had no room
        NoFrames  // the span holds no recording
    };

    struct Request
    {
        std::string strSerial;
        int nChannelNo = 1;
        std::string strCode;      // the camera's verification code
        std::string strStartTime; // "yyyy-MM-dd hh:mm:ss", local time
        std::string strStopTime;
        QString strPath; // the file to write; replaced when it exists
    };

    explicit CClipSaver(QObject* parent = nullptr);
    // A save still running is cancelled.
    ~CClipSaver() override;

    // Returns at once. False, with the reason and nothing written, when the
    // save cannot start (one runs already, no place for the temporary file,
    // the library refused); *pStatus then holds the CSaveTarget status of the
    // folder when that was the trouble.
    bool Start(const Request& request, QString* pReason, int* pStatus = nullptr);
    // Removes what was written; sigFinished(Cancelled) unless the save had
    // already ended, whose own outcome then arrives.
    void Cancel();
    bool IsBusy() const { return static_cast<bool>(m_pJob); }

    struct Job; // shared with the library's thread

signals:
    // 0..100 along the span.
    void sigProgress(int nPercent);
    void sigFinished(int nResult, QString strPath, QString strReason);

private:
    static void OnDownload(unsigned int nEvent, unsigned int nErrorCode, long long nOsdMs, const char* pData,
                           unsigned int nLength, void* pUser);
    // A download-only session has no messages; the library wants a handler all the same.
    static void OnSessionMessage(const char*, unsigned int, unsigned int, const char*, void*) {}
    void OnJobEnded(const std::shared_ptr<Job>& pJob, int nResult, const QString& strReason);
    // Stops the download and frees its session; the temporary file goes when
    // bDiscard is set or the job had not ended by itself.
    void EndJob(bool bDiscard);

    std::shared_ptr<Job> m_pJob;
    std::string m_strSessionId;
};
