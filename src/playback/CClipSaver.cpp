#include "playback/CClipSaver.h"

#include "base/CSaveTarget.h"
#include "base/ModuleLog.h"
#include "playback/CClipWriter.h"
#include "playback/CVideoSdk.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

struct CClipSaver::Job
{
    CClipSaver* pSaver = nullptr; // posted to only while the job is not cancelled
    quintptr nId = 0;
    std::mutex mutex;
    CClipWriter writer;
    std::string strTempPath;
    std::string strFinalPath;
    qint64 nStartMs = 0;
    qint64 nSpanMs = 1;
    qint64 nFirstOsdMs = 0;
    int nLastPercent = -1;
    bool bCancelled = false;
    bool bEnded = false;

    void OnFrame(const std::shared_ptr<Job>& pSelf, const char* pData, int nLength, qint64 nOsdMs);
    void OnEnd(const std::shared_ptr<Job>& pSelf);
    void Fail(const std::shared_ptr<Job>& pSelf, const std::string& strWhy, int nErrno);
    void Report(const std::shared_ptr<Job>& pSelf, int nResult, const QString& strReason);
    // The temporary file goes, whatever was in it.
    void Discard()
    {
        writer.Abort();
        std::remove(strTempPath.c_str());
    }
};

namespace {

// The library's user value is a number looked up here, so a callback that
// comes late finds no job rather than a freed one.
std::mutex& JobsMutex()
{
    static std::mutex s_mutex;
    return s_mutex;
}

std::map<quintptr, std::weak_ptr<CClipSaver::Job>>& Jobs()
{
    static std::map<quintptr, std::weak_ptr<CClipSaver::Job>> s_jobs;
    return s_jobs;
}

std::shared_ptr<CClipSaver::Job> FindJob(quintptr nId)
{
    std::lock_guard<std::mutex> lock(JobsMutex());
    const auto it = Jobs().find(nId);
    return it == Jobs().end() ? nullptr : it->second.lock();
}

qint64 LocalMs(const std::string& strTime)
{
    const QDateTime time =
        QDateTime::fromString(QString::fromStdString(strTime), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

} // namespace

// ---------------------------------------------------------------- the library's thread

void CClipSaver::OnDownload(unsigned int nEvent, unsigned int nErrorCode, long long nOsdMs, const char* pData,
                            unsigned int nLength, void* pUser)
{
    const std::shared_ptr<Job> pJob = FindJob(reinterpret_cast<quintptr>(pUser));
    if (!pJob) {
        return;
    }
    std::lock_guard<std::mutex> lock(pJob->mutex);
    if (pJob->bCancelled || pJob->bEnded) {
        return;
    }
    if (nEvent == OPENSDK_DOWNLOAD_FRAME) {
        pJob->OnFrame(pJob, pData, static_cast<int>(std::min<unsigned int>(nLength, INT32_MAX)), nOsdMs);
    } else if (nEvent == OPENSDK_DOWNLOAD_END) {
        pJob->OnEnd(pJob);
    } else {
        const std::string strText = pData ? std::string(pData, nLength) : std::string();
        pJob->Fail(pJob, "download failed: " + std::to_string(nErrorCode) + " " + strText, 0);
    }
}

void CClipSaver::Job::Report(const std::shared_ptr<Job>& pSelf, int nResult, const QString& strReason)
{
    bEnded = true;
    CClipSaver* pTarget = pSaver;
    QMetaObject::invokeMethod(
        pTarget, [pTarget, pSelf, nResult, strReason] { pTarget->OnJobEnded(pSelf, nResult, strReason); },
        Qt::QueuedConnection);
}

void CClipSaver::Job::Fail(const std::shared_ptr<Job>& pSelf, const std::string& strWhy, int nErrno)
{
    MC_LOG(5, "CClipSaver::Job::Fail", "<%d>\t<%s>,clip save failed: %s", strWhy.c_str());
    Discard();
    const bool bFull = nErrno == ENOSPC || nErrno == EDQUOT || nErrno == EFBIG;
    Report(pSelf, bFull ? DiskFull : Failed, QString::fromStdString(strWhy));
}

void CClipSaver::Job::OnFrame(const std::shared_ptr<Job>& pSelf, const char* pData, int nLength,
                              qint64 nOsdMs)
{
    std::string strError;
    int nErrno = 0;
    if (!writer.IsOpen()) {
        int nWidth = 0;
        int nHeight = 0;
        if (!CClipWriter::JpegSize(pData, nLength, &nWidth, &nHeight)) {
            Fail(pSelf, "the cloud sent a frame that is no JPEG picture", 0);
            return;
        }
        if (!writer.Open(strTempPath, nWidth, nHeight, &strError, &nErrno)) {
            Fail(pSelf, strError, nErrno);
            return;
        }
        nFirstOsdMs = nOsdMs;
    }
    // The file starts at its first picture; the others keep their distance to it.
    if (!writer.WriteFrame(pData, nLength, nOsdMs - nFirstOsdMs, &strError, &nErrno)) {
        Fail(pSelf, strError, nErrno);
        return;
    }
    const int nPercent = static_cast<int>(std::clamp<qint64>((nOsdMs - nStartMs) * 100 / nSpanMs, 0, 99));
    if (nPercent == nLastPercent) {
        return;
    }
    nLastPercent = nPercent;
    CClipSaver* pTarget = pSaver;
    QMetaObject::invokeMethod(
        pTarget,
        [pTarget, pSelf, nPercent] {
            if (pTarget->m_pJob == pSelf) {
                emit pTarget->sigProgress(nPercent);
            }
        },
        Qt::QueuedConnection);
}

void CClipSaver::Job::OnEnd(const std::shared_ptr<Job>& pSelf)
{
    const int nFrames = writer.Frames();
    if (nFrames == 0) {
        Discard();
        Report(pSelf, NoFrames, QString());
        return;
    }
    std::string strError;
    int nErrno = 0;
    if (!writer.Finish(&strError, &nErrno)) {
        Fail(pSelf, strError, nErrno);
        return;
    }
    // The whole file appears under its name at once, or not at all.
    if (std::rename(strTempPath.c_str(), strFinalPath.c_str()) != 0) {
        const int nRenameErrno = errno;
        Fail(pSelf, std::string("cannot rename the file: ") + std::strerror(nRenameErrno), nRenameErrno);
        return;
    }
    MC_LOG(3, "CClipSaver::Job::OnEnd", "<%d>\t<%s>,clip saved: %s, %d frames", strFinalPath.c_str(),
           nFrames);
    Report(pSelf, Saved, QString());
}

// ---------------------------------------------------------------- the GUI thread

CClipSaver::CClipSaver(QObject* parent) : QObject(parent) {}

CClipSaver::~CClipSaver()
{
    if (m_pJob) {
        MC_LOG(3, "CClipSaver::~CClipSaver", "<%d>\t<%s>,clip save still running, cancelled");
    }
    EndJob(false);
}

bool CClipSaver::Start(const Request& request, QString* pReason, int* pStatus)
{
    auto refuse = [pReason](const QString& strWhy) {
        if (pReason) {
            *pReason = strWhy;
        }
        MC_LOG(5, "CClipSaver::Start", "<%d>\t<%s>,clip save not started: %s",
               strWhy.toLocal8Bit().constData());
        return false;
    };
    if (m_pJob) {
        return refuse(QStringLiteral("a save is running"));
    }
    const qint64 nStartMs = LocalMs(request.strStartTime);
    const qint64 nStopMs = LocalMs(request.strStopTime);
    if (nStartMs == 0 || nStopMs <= nStartMs) {
        return refuse(QStringLiteral("no span"));
    }
    // Beside the target, so that the rename never crosses file systems; the
    // name is taken at once.
    QString strTemp;
    const CSaveTarget::Status eTemp = CSaveTarget::CreateTempBeside(request.strPath, &strTemp);
    if (eTemp != CSaveTarget::Ok) {
        if (pStatus) {
            *pStatus = eTemp;
        }
        return refuse(QStringLiteral("no file can be made beside the target"));
    }
    auto pJob = std::make_shared<Job>();
    pJob->pSaver = this;
    pJob->strTempPath = QFile::encodeName(strTemp).toStdString();
    pJob->strFinalPath = QFile::encodeName(QFileInfo(request.strPath).absoluteFilePath()).toStdString();
    pJob->nStartMs = nStartMs;
    pJob->nSpanMs = nStopMs - nStartMs;

    m_strSessionId = CVideoSdk::instance()->AllocSession(&CClipSaver::OnSessionMessage, nullptr);
    if (m_strSessionId.empty()) {
        std::remove(pJob->strTempPath.c_str());
        return refuse(QStringLiteral("no session (%1)").arg(CVideoSdk::instance()->GetLastErrorCode()));
    }
    {
        static quintptr s_nLastId = 0;
        std::lock_guard<std::mutex> lock(JobsMutex());
        pJob->nId = ++s_nLastId;
        Jobs()[pJob->nId] = pJob;
    }
    m_pJob = pJob;
    MC_LOG(3, "CClipSaver::Start", "<%d>\t<%s>,clip of %s/%d %s..%s into %s", request.strSerial.c_str(),
           request.nChannelNo, request.strStartTime.c_str(), request.strStopTime.c_str(),
           pJob->strFinalPath.c_str());
    if (CVideoSdk::instance()->StartDownload(
            m_strSessionId, request.strSerial, request.nChannelNo, request.strCode, request.strStartTime,
            request.strStopTime, &CClipSaver::OnDownload, reinterpret_cast<void*>(pJob->nId)) != 0) {
        const int nCode = CVideoSdk::instance()->GetLastErrorCode();
        EndJob(false);
        return refuse(QStringLiteral("download refused (%1)").arg(nCode));
    }
    return true;
}

void CClipSaver::Cancel()
{
    if (!m_pJob) {
        return;
    }
    {
        // Decided under the job's lock: a span that ends after this is not
        // renamed into place, one that ended before is reported as it is.
        std::lock_guard<std::mutex> lock(m_pJob->mutex);
        if (m_pJob->bEnded) {
            return;
        }
        m_pJob->bCancelled = true;
    }
    MC_LOG(3, "CClipSaver::Cancel", "<%d>\t<%s>,clip save cancelled");
    EndJob(true);
    emit sigFinished(Cancelled, QString(), QString());
}

void CClipSaver::EndJob(bool bDiscard)
{
    const std::shared_ptr<Job> pJob = std::move(m_pJob);
    if (pJob) {
        std::lock_guard<std::mutex> lock(pJob->mutex);
        pJob->bCancelled = true;
    }
    if (!m_strSessionId.empty()) {
        // No callback of the download starts once these return.
        CVideoSdk::instance()->StopDownload(m_strSessionId);
        CVideoSdk::instance()->FreeSession(m_strSessionId);
        m_strSessionId.clear();
    }
    if (!pJob) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(JobsMutex());
        Jobs().erase(pJob->nId);
    }
    std::lock_guard<std::mutex> lock(pJob->mutex);
    if (bDiscard || !pJob->bEnded) {
        pJob->Discard();
    }
}

void CClipSaver::OnJobEnded(const std::shared_ptr<Job>& pJob, int nResult, const QString& strReason)
{
    if (pJob != m_pJob) {
        return; // a job already cancelled
    }
    EndJob(false);
    emit sigFinished(nResult, nResult == Saved ? QFile::decodeName(pJob->strFinalPath.c_str()) : QString(),
                     strReason);
}
