#include "alarms/CPicFetcher.h"

#include "alarms/CSnapCache.h"
#include "base/ModuleLog.h"
#include "native/CrashApi.h"
#include "platform/CPlatformRequest.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>

#include <mutex>

namespace {

std::mutex s_mutex;
QThread* s_pThread = nullptr;
CPicFetcher* s_pFetcher = nullptr;

} // namespace

CPicFetcher::CPicFetcher() : m_pManager(new QNetworkAccessManager(this)) {}

CPicFetcher* CPicFetcher::Instance()
{
    std::lock_guard<std::mutex> lock(s_mutex);
    if (!s_pFetcher) {
        s_pThread = new QThread;
        s_pThread->setObjectName(QStringLiteral("PicFetcher"));
        s_pFetcher = new CPicFetcher;
        s_pFetcher->moveToThread(s_pThread);
        QObject::connect(s_pThread, &QThread::started, [] { CrashAPI_InitThread(); });
        QObject::connect(s_pThread, &QThread::finished, s_pFetcher, &QObject::deleteLater);
        s_pThread->start();
        // Ended before the application's objects go, whoever forgets to.
        qAddPostRoutine(&CPicFetcher::Stop);
    }
    return s_pFetcher;
}

void CPicFetcher::Stop()
{
    QThread* pThread = nullptr;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        pThread = s_pThread;
        s_pThread = nullptr;
        s_pFetcher = nullptr;
    }
    if (pThread) {
        pThread->quit();
        pThread->wait();
        delete pThread;
    }
}

void CPicFetcher::Fetch(CPicRequest request, std::shared_ptr<CPicJob::CReceiver> pReceiver)
{
    CPicFetcher* pFetcher = Instance();
    QMetaObject::invokeMethod(
        pFetcher,
        [pFetcher, request = std::move(request), pReceiver = std::move(pReceiver)]() mutable {
            pFetcher->Get(std::move(request), std::move(pReceiver), 0);
        },
        Qt::QueuedConnection);
}

void CPicFetcher::Get(CPicRequest request, std::shared_ptr<CPicJob::CReceiver> pReceiver, int nRedirects)
{
    if (!pReceiver->IsOpen()) {
        return; // its row went while the request waited
    }
    QNetworkRequest netRequest(
        nRedirects == 0 ? QUrl(QString::fromLocal8Bit(request.strPicUrl.c_str()), QUrl::TolerantMode)
                        : QUrl(QString::fromLocal8Bit(request.strRedirectedUrl.c_str())));
    netRequest.setSslConfiguration(CPlatformRequest::TlsConfiguration(QSsl::AnyProtocol));
    // Redirects are followed here, one GET per reply, up to kMaxRedirects.
    netRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_pManager->get(netRequest);
    connect(reply, &QNetworkReply::finished, this,
            [=] { OnFinished(reply, request, pReceiver, nRedirects); });
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, pReceiver](qint64 nReceived, qint64 nTotal) {
                if (!pReceiver->IsOpen()) {
                    reply->abort(); // nobody wants it any more
                } else if (nReceived > CPlatformRequest::kMaxReplyBytes ||
                           nTotal > CPlatformRequest::kMaxReplyBytes) {
                    MC_LOG(5, "CPicFetcher::Get", "<%d>\t<%s>,picture above %lld bytes, aborted",
                           static_cast<long long>(CPlatformRequest::kMaxReplyBytes));
                    reply->abort();
                }
            });
}

void CPicFetcher::OnFinished(QNetworkReply* reply, CPicRequest request,
                             std::shared_ptr<CPicJob::CReceiver> pReceiver, int nRedirects)
{
    reply->deleteLater();
    if (!pReceiver->IsOpen()) {
        return;
    }
    CPicResult result;
    if (reply->error() != QNetworkReply::NoError) {
        result.nNetError = static_cast<int>(reply->error());
        pReceiver->Deliver(result);
        return;
    }
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isValid()) {
        const QUrl next = reply->url().resolved(target);
        if (nRedirects + 1 > kMaxRedirects ||
            (next.scheme() != QLatin1String("https") && next.scheme() != QLatin1String("http"))) {
            MC_LOG(5, "CPicFetcher::OnFinished", "<%d>\t<%s>,redirect %d to %s refused", nRedirects + 1,
                   next.toString().toLocal8Bit().constData());
            result.bRefused = true;
            pReceiver->Deliver(result);
            return;
        }
        request.strRedirectedUrl = next.toString().toLocal8Bit().toStdString();
        Get(std::move(request), std::move(pReceiver), nRedirects + 1);
        return;
    }
    if (reply->bytesAvailable() > CPlatformRequest::kMaxReplyBytes) {
        MC_LOG(5, "CPicFetcher::OnFinished", "<%d>\t<%s>,picture of %lld bytes refused",
               static_cast<long long>(reply->bytesAvailable()));
        result.bRefused = true;
        pReceiver->Deliver(result);
        return;
    }
    // Decoded, and kept for as long as the platform allows, on the pool.
    request.baFetched = reply->readAll();
    const int nMaxAge = CSnapCache::MaxAgeOf(reply->rawHeader("Cache-Control"), reply->rawHeader("Expires"),
                                             reply->rawHeader("Date"));
    request.nKeepUntilMs = CSnapCache::KeepUntil(nMaxAge, QString::fromLocal8Bit(request.strPicUrl.c_str()));
    CPicJob::Start(std::move(request), std::move(pReceiver));
}
