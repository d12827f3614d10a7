#include "alarms/CPicLoad.h"

#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CSnapCache.h"
#include "platform/CPlatformRequest.h"
#include "shell/ModuleLog.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

// Parked loads by what they load; a load leaves when taken or deleted.
QHash<QString, CPicLoad*>& Parked()
{
    static QHash<QString, CPicLoad*> parked;
    return parked;
}

} // namespace

CPicLoad::CPicLoad(CPicRequest request, QObject* pOwner)
    : QObject(pOwner), m_request(std::move(request)), m_pManager(CAlarmMsgWnd::SharedManager())
{
    m_pReceiver =
        std::make_shared<CPicJob::CReceiver>(this, [this](const CPicResult& result) { OnJobResult(result); });
}

CPicLoad::~CPicLoad()
{
    if (m_bParked) {
        Parked().remove(ParkKey(m_request));
    }
    m_pReceiver->Close();
    if (QNetworkReply* pReply = m_pReply.data()) {
        disconnect(pReply, nullptr, this, nullptr);
        pReply->abort();
        pReply->deleteLater();
    }
}

QString CPicLoad::ParkKey(const CPicRequest& request)
{
    // Everything a load depends on: a row asking differently loads anew.
    return QStringList{QString::fromLocal8Bit(request.strPicUrl.c_str()),
                       request.bEncrypted ? QStringLiteral("1") : QStringLiteral("0"),
                       QString::number(request.szShown.width()),
                       QString::number(request.szShown.height()),
                       QString::fromLocal8Bit(request.strToken.c_str()),
                       QString::fromLocal8Bit(request.strCode.c_str()),
                       QString::fromLocal8Bit(request.strIpcValidateCode.c_str()),
                       QString::fromLocal8Bit(request.strAesKey.c_str())}
        .join(QLatin1Char('\n'));
}

CPicLoad* CPicLoad::Begin(const CPicRequest& request, QObject* pOwner)
{
    CPicLoad* pLoad = Parked().take(ParkKey(request));
    if (pLoad) {
        pLoad->m_bParked = false;
        pLoad->setParent(pOwner);
        if (pLoad->m_bFinished) {
            // Its owner connects after this returns: told through the loop.
            QMetaObject::invokeMethod(pLoad, &CPicLoad::finished, Qt::QueuedConnection);
        }
        return pLoad;
    }
    pLoad = new CPicLoad(request, pOwner);
    pLoad->Start();
    return pLoad;
}

void CPicLoad::Park(const std::vector<CPicRequest>& requests, QObject* pOwner)
{
    DropParked(pOwner);
    for (const CPicRequest& request : requests) {
        const QString strKey = ParkKey(request);
        if (Parked().contains(strKey)) {
            continue; // the same picture twice on a page, or parked by another list
        }
        auto* pLoad = new CPicLoad(request, pOwner);
        pLoad->m_bParked = true;
        Parked().insert(strKey, pLoad);
        pLoad->Start();
    }
}

void CPicLoad::DropParked(QObject* pOwner)
{
    for (CPicLoad* pLoad : pOwner->findChildren<CPicLoad*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (pLoad->m_bParked) {
            delete pLoad;
        }
    }
}

int CPicLoad::ParkedCount()
{
    return Parked().size();
}

void CPicLoad::Start()
{
    if (m_request.bEncrypted || m_request.pCache) {
        // An encrypted picture, or the cache asked first: on the pool.
        CPicJob::Start(m_request, m_pReceiver);
        return;
    }
    SendRequest();
}

void CPicLoad::OnJobResult(const CPicResult& result)
{
    if (!m_request.bEncrypted && result.bCacheMiss) {
        SendRequest();
        return;
    }
    Finish(result);
}

void CPicLoad::SendRequest()
{
    if (m_nRedirects == 0) {
        m_netRequest =
            QNetworkRequest(QUrl(QString::fromLocal8Bit(m_request.strPicUrl.c_str()), QUrl::TolerantMode));
        m_netRequest.setSslConfiguration(CPlatformRequest::TlsConfiguration(QSsl::AnyProtocol));
        // Redirects are followed here, one GET per reply, up to kMaxRedirects.
        m_netRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                  QNetworkRequest::ManualRedirectPolicy);
    }
    QNetworkReply* reply = m_pManager->get(m_netRequest);
    m_pReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { OnReplyFinished(reply); });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 nReceived, qint64 nTotal) {
        if (nReceived > CPlatformRequest::kMaxReplyBytes || nTotal > CPlatformRequest::kMaxReplyBytes) {
            MC_LOG(5, "CAlarmMsgWnd::SendPicRequest", "<%d>\t<%s>,picture above %lld bytes, aborted",
                   static_cast<long long>(CPlatformRequest::kMaxReplyBytes));
            reply->abort();
        }
    });
}

void CPicLoad::OnReplyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != m_pReply) {
        return;
    }
    m_pReply = nullptr;
    CPicResult result;
    if (reply->error() != QNetworkReply::NoError) {
        result.nNetError = static_cast<int>(reply->error());
        Finish(result);
        return;
    }
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isValid()) {
        const QUrl next = reply->url().resolved(target);
        if (++m_nRedirects > kMaxRedirects || (next.scheme() != "https" && next.scheme() != "http")) {
            MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,redirect %d to %s refused", m_nRedirects,
                   next.toString().toLocal8Bit().constData());
            result.bRefused = true;
            Finish(result);
            return;
        }
        m_netRequest.setUrl(next);
        SendRequest();
        return;
    }
    if (reply->bytesAvailable() > CPlatformRequest::kMaxReplyBytes) {
        MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,picture of %lld bytes refused",
               static_cast<long long>(reply->bytesAvailable()));
        result.bRefused = true;
        Finish(result);
        return;
    }
    // Decoded, and kept for as long as the platform allows, on the pool.
    CPicRequest request = m_request;
    request.baFetched = reply->readAll();
    const int nMaxAge = CSnapCache::MaxAgeOf(reply->rawHeader("Cache-Control"), reply->rawHeader("Expires"),
                                             reply->rawHeader("Date"));
    request.nKeepUntilMs =
        CSnapCache::KeepUntil(nMaxAge, QString::fromLocal8Bit(m_request.strPicUrl.c_str()));
    CPicJob::Start(std::move(request), m_pReceiver);
}

void CPicLoad::Finish(CPicResult result)
{
    m_result = std::move(result);
    m_bFinished = true;
    emit finished();
}
