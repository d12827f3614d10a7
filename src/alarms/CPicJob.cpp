#include "alarms/CPicJob.h"

#include "alarms/CSnapCache.h"

#include "alarms/CValidateCode.h"
#include "base/ModuleLog.h"
#include "native/CrashApi.h"
#include "playback/CVideoSdk.h"

#include <QBuffer>
#include <QImageReader>
#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <algorithm>

CPicJob::CReceiver::CReceiver(QObject* pTarget, Handler fnHandler)
    : m_pTarget(pTarget), m_fnHandler(std::move(fnHandler))
{
}

void CPicJob::CReceiver::Close()
{
    std::vector<CPicJob*> taken;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pTarget = nullptr;
        // A job the pool has already handed to a thread stays: it finds
        // itself unwanted when it begins, or its result is not delivered.
        for (CPicJob* pJob : m_vecQueued) {
            if (Pool().tryTake(pJob)) {
                taken.push_back(pJob);
            }
        }
        m_vecQueued.clear();
    }
    qDeleteAll(taken);
}

void CPicJob::CReceiver::Queued(CPicJob* pJob)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecQueued.push_back(pJob);
}

bool CPicJob::CReceiver::Begin(CPicJob* pJob)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecQueued.erase(std::remove(m_vecQueued.begin(), m_vecQueued.end(), pJob), m_vecQueued.end());
    return m_pTarget != nullptr;
}

bool CPicJob::CReceiver::IsOpen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pTarget != nullptr;
}

bool CPicJob::CReceiver::Deliver(const CPicResult& result)
{
    // Posting under the lock keeps the target alive until the event is queued;
    // its destruction then discards the event and with it the buffer.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_pTarget) {
        return false;
    }
    Handler fnHandler = m_fnHandler;
    QMetaObject::invokeMethod(
        m_pTarget, [fnHandler, result] { fnHandler(result); }, Qt::QueuedConnection);
    return true;
}

CPicJob::CPicJob(CPicRequest request, std::shared_ptr<CReceiver> pReceiver)
    : m_request(std::move(request)), m_pReceiver(std::move(pReceiver))
{
    setAutoDelete(true);
}

QThreadPool& CPicJob::Pool()
{
    static QThreadPool pool;
    static const bool bSized = [] {
        pool.setMaxThreadCount(kPoolThreads);
        return true;
    }();
    Q_UNUSED(bSized);
    return pool;
}

void CPicJob::Start(CPicRequest request, std::shared_ptr<CReceiver> pReceiver)
{
    auto* pJob = new CPicJob(std::move(request), pReceiver);
    // Known to the receiver before the pool may run (and delete) it.
    pReceiver->Queued(pJob);
    Pool().start(pJob);
}

void CPicJob::run()
{
    CrashAPI_InitThread();
    // Checked before any work: a row gone or loading anew wants none of it.
    if (!m_pReceiver->Begin(this)) {
        MC_LOG(3, "CPicJob::run", "<%d>\t<%s>,picture of %s no longer wanted",
               m_request.strDevSerial.c_str());
        return;
    }
    const CPicResult result = m_request.bEncrypted ? Encrypted() : Plain();
    if (!m_pReceiver->Deliver(result)) {
        MC_LOG(3, "CPicJob::run", "<%d>\t<%s>,row gone, picture of %s dropped",
               m_request.strDevSerial.c_str());
    }
}

QImage CPicJob::Decode(const QByteArray& baBytes, const QSize& szShown)
{
    QBuffer buffer;
    buffer.setData(baBytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (szShown.isValid()) {
        // JPEG decodes at a fraction of its size this way: far less work
        // than decoding it whole and scaling it down.
        reader.setScaledSize(szShown);
    }
    QImage image;
    if (!reader.read(&image)) {
        return QImage();
    }
    return image;
}

CPicResult CPicJob::Plain() const
{
    CPicResult result;
    const QString strKey = QString::fromLocal8Bit(m_request.strPicUrl.c_str());
    result.baFetched = m_request.baFetched;
    if (result.baFetched.isEmpty()) {
        if (!m_request.pCache || !m_request.pCache->Get(strKey, &result.baFetched)) {
            result.bCacheMiss = true;
            return result;
        }
        result.bFromCache = true;
    }
    result.imgShown = Decode(result.baFetched, m_request.szShown);
    if (result.imgShown.isNull()) {
        if (result.bFromCache) {
            // Kept bytes that no longer decode are fetched again.
            m_request.pCache->Remove(strKey);
            result.baFetched.clear();
            result.bFromCache = false;
            result.bCacheMiss = true;
        }
        return result;
    }
    if (!result.bFromCache && m_request.pCache) {
        m_request.pCache->Put(strKey, result.baFetched, m_request.nKeepUntilMs);
    }
    return result;
}

void CPicJob::DecryptInto(CPicResult& result) const
{
    CVideoSdk* pSdk = CVideoSdk::instance();
    char* pBuf = nullptr;
    int nLen = 0;
    result.nRet = pSdk->DecryptPictureData(result.baFetched.constData(), result.baFetched.size(),
                                           result.strCode, &pBuf, &nLen);
    if (result.nRet == 0 && pBuf && nLen > 0) {
        result.baDecrypted = QByteArray(pBuf, nLen);
        result.imgShown = Decode(result.baDecrypted, m_request.szShown);
        result.nErrCode = 0;
    } else {
        result.nRet = result.nRet == 0 ? -1 : result.nRet;
        result.nErrCode = pSdk->GetLastErrorCode();
        result.strErrDesc = pSdk->GetLastErrorDesc();
    }
    pSdk->DataFree(pBuf);
}

CPicResult CPicJob::Encrypted() const
{
    CPicResult result;
    result.strCode = m_request.strCode;
    if (result.strCode.empty()) {
        if (m_request.strIpcValidateCode.size() < kMinIpcCodeLength) {
            result.bNoCode = true;
            return result;
        }
        result.strCode = CValidateCode::Decrypt(m_request.strIpcValidateCode, m_request.strAesKey);
        if (result.strCode.empty()) {
            MC_LOG(5, "CPicJob::Encrypted", "<%d>\t<%s>,ipcValidateCode of %s does not decrypt",
                   m_request.strDevSerial.c_str());
            result.bNoCode = true;
            return result;
        }
    }
    // Kept in the form it was fetched in: the cache never holds a decrypted
    // picture.
    const QString strKey = QString::fromLocal8Bit(m_request.strPicUrl.c_str());
    if (m_request.pCache && m_request.pCache->Get(strKey, &result.baFetched)) {
        result.bFromCache = true;
        DecryptInto(result);
        if ((result.nRet == 0 && !result.imgShown.isNull()) || result.nErrCode == OPENSDK_ERR_PICTURE_CODE) {
            return result;
        }
        m_request.pCache->Remove(strKey); // the library cannot read what was kept: fetched again
        result.bFromCache = false;
        result.baFetched.clear();
        result.baDecrypted.clear();
        result.imgShown = QImage();
    }
    CVideoSdk* pSdk = CVideoSdk::instance();
    char* pBuf = nullptr;
    int nLen = 0;
    int nMaxAge = -1;
    result.nRet = pSdk->FetchPicture(m_request.strToken, m_request.strPicUrl, &pBuf, &nLen, &nMaxAge);
    if (result.nRet != 0 || !pBuf || nLen <= 0) {
        result.nRet = result.nRet == 0 ? -1 : result.nRet;
        result.nErrCode = pSdk->GetLastErrorCode();
        result.strErrDesc = pSdk->GetLastErrorDesc();
        pSdk->DataFree(pBuf);
        return result;
    }
    result.baFetched = QByteArray(pBuf, nLen);
    pSdk->DataFree(pBuf);
    DecryptInto(result);
    // A wrong code says nothing against the bytes: they are kept for the
    // right one.
    if (m_request.pCache &&
        ((result.nRet == 0 && !result.imgShown.isNull()) || result.nErrCode == OPENSDK_ERR_PICTURE_CODE)) {
        m_request.pCache->Put(strKey, result.baFetched, CSnapCache::KeepUntil(nMaxAge, strKey));
    }
    return result;
}
