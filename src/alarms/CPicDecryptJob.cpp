#include "alarms/CPicDecryptJob.h"

#include "alarms/CValidateCode.h"
#include "native/CrashApi.h"
#include "playback/CVideoSdk.h"
#include "shell/ModuleLog.h"

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <algorithm>

CPicDecryptJob::CReceiver::CReceiver(QObject* pTarget, Handler fnHandler)
    : m_pTarget(pTarget), m_fnHandler(std::move(fnHandler))
{
}

void CPicDecryptJob::CReceiver::Close()
{
    std::vector<CPicDecryptJob*> taken;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pTarget = nullptr;
        taken = TakeQueued(-1);
    }
    qDeleteAll(taken);
}

void CPicDecryptJob::CReceiver::Supersede(int nGeneration)
{
    std::vector<CPicDecryptJob*> taken;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nWanted = nGeneration;
        taken = TakeQueued(nGeneration);
    }
    qDeleteAll(taken);
}

std::vector<CPicDecryptJob*> CPicDecryptJob::CReceiver::TakeQueued(int nGeneration)
{
    std::vector<CPicDecryptJob*> taken;
    auto it = m_vecQueued.begin();
    while (it != m_vecQueued.end()) {
        CPicDecryptJob* pJob = *it;
        // A job the pool has already handed to a thread stays: it finds
        // itself unwanted when it begins.
        if ((nGeneration < 0 || pJob->m_request.nGeneration < nGeneration) && Pool().tryTake(pJob)) {
            taken.push_back(pJob);
            it = m_vecQueued.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void CPicDecryptJob::CReceiver::Queued(CPicDecryptJob* pJob)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nWanted = pJob->m_request.nGeneration;
    m_vecQueued.push_back(pJob);
}

bool CPicDecryptJob::CReceiver::Begin(CPicDecryptJob* pJob, int nGeneration)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecQueued.erase(std::remove(m_vecQueued.begin(), m_vecQueued.end(), pJob), m_vecQueued.end());
    return m_pTarget && nGeneration == m_nWanted;
}

bool CPicDecryptJob::CReceiver::Deliver(const CPicDecryptResult& result)
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

CPicDecryptJob::CPicDecryptJob(CPicDecryptRequest request, std::shared_ptr<CReceiver> pReceiver)
    : m_request(std::move(request)), m_pReceiver(std::move(pReceiver))
{
    setAutoDelete(true);
}

QThreadPool& CPicDecryptJob::Pool()
{
    static QThreadPool pool;
    static const bool bSized = [] {
        pool.setMaxThreadCount(kPoolThreads);
        return true;
    }();
    Q_UNUSED(bSized);
    return pool;
}

void CPicDecryptJob::Start(CPicDecryptRequest request, std::shared_ptr<CReceiver> pReceiver)
{
    auto* pJob = new CPicDecryptJob(std::move(request), pReceiver);
    // Known to the receiver before the pool may run (and delete) it.
    pReceiver->Queued(pJob);
    Pool().start(pJob);
}

void CPicDecryptJob::run()
{
    CrashAPI_InitThread();
    // Checked before the fetch: a row gone or loading anew wants none of it.
    if (!m_pReceiver->Begin(this, m_request.nGeneration)) {
        MC_LOG(3, "CPicDecryptJob::run", "<%d>\t<%s>,picture of %s no longer wanted",
               m_request.strDevSerial.c_str());
        return;
    }
    CPicDecryptResult result = Decrypt();
    if (!m_pReceiver->Deliver(result)) {
        MC_LOG(3, "CPicDecryptJob::run", "<%d>\t<%s>,row gone, picture of %s dropped",
               m_request.strDevSerial.c_str());
    }
}

CPicDecryptResult CPicDecryptJob::Decrypt() const
{
    CPicDecryptResult result;
    result.nGeneration = m_request.nGeneration;
    result.strCode = m_request.strCode;
    if (result.strCode.empty()) {
        if (m_request.strIpcValidateCode.size() < kMinIpcCodeLength) {
            result.bNoCode = true;
            return result;
        }
        result.strCode = CValidateCode::Decrypt(m_request.strIpcValidateCode, m_request.strAesKey);
        if (result.strCode.empty()) {
            MC_LOG(5, "CPicDecryptJob::Decrypt", "<%d>\t<%s>,ipcValidateCode of %s does not decrypt",
                   m_request.strDevSerial.c_str());
            result.bNoCode = true;
            return result;
        }
    }
    char* pBuf = nullptr;
    int nLen = 0;
    CVideoSdk* pSdk = CVideoSdk::instance();
    result.nRet = pSdk->DecryptPicture(m_request.strToken, m_request.strPicUrl, m_request.strDevSerial,
                                       result.strCode, &pBuf, &nLen);
    if (pBuf) {
        result.pBuffer = std::make_shared<CSdkBuffer>(pBuf, nLen);
    }
    if (result.nRet != 0 || !pBuf) {
        result.nErrCode = pSdk->GetLastErrorCode();
        result.strErrDesc = pSdk->GetLastErrorDesc();
    }
    return result;
}
