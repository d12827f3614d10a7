#include "push/CPushChannel.h"

#include "base/CfgReader.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "native/CrashApi.h"
#include "native/LocalAddress.h"
#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"
#include "push/CTcpConnect.h"

#include <QNetworkAccessManager>
#include <QThread>

CPushChannel::CPushChannel(QObject* pParent)
    : QObject(pParent), m_nHeartbeatMs(CTcpConnect::kDefaultHeartbeatMs)
{
}

CPushChannel::~CPushChannel()
{
    Stop();
}

void CPushChannel::Start(QNetworkAccessManager& manager)
{
    const LaunchValues values = LaunchValues::snapshot();
    // The push-information service has no address of its own here: the
    // installation names it, or no push channel opens.
    const std::string strUrl = ReadCfgString(values.CfgPath, "push_info_url", "");
    if (strUrl.empty()) {
        MC_LOG(5, "CPushChannel::Start", "<%d>\t<%s>,no push_info_url configured, push channel not opened");
        return;
    }
    std::string strIp;
    std::string strMac;
    GetLocalAddress(strIp, strMac);
    // The service reads the form as it is; nothing is percent-encoded.
    const std::string strBody = "macAddress=" + strMac + "test" + "&accessToken=" + values.Token;
    const QNetworkRequest request = CPlatformRequest::Build(
        strUrl, QStringLiteral("GetPushUrl"), CPlatformRequest::FormBody, true, QSsl::AnyProtocol);
    MC_LOG(3, "CPushChannel::Start", "<%d>\t<%s>,asking %s for the push server", strUrl.c_str());
    CPlatformRequest::Post(manager, request, strBody);
}

void CPushChannel::OnPushUrlReply(const std::string& strBody)
{
    std::string strIp;
    int nPort = 0;
    std::string strReason;
    if (!CJasonParse().ParsePushServer(strBody, strIp, nPort, &strReason)) {
        MC_LOG(5, "CPushChannel::OnPushUrlReply", "<%d>\t<%s>,Parse TCP ip port error!");
        MC_LOG(5, "CPushChannel::OnPushUrlReply", "<%d>\t<%s>,push server reply refused: %s",
               strReason.c_str());
        return;
    }
    MC_LOG(3, "CPushChannel::OnPushUrlReply", "<%d>\t<%s>,Get TCP ip port Success!");
    StartWorker(QString::fromLocal8Bit(strIp.c_str()), static_cast<quint16>(nPort));
}

void CPushChannel::StartWorker(const QString& strIp, quint16 nPort)
{
    if (m_pThread) {
        MC_LOG(3, "CPushChannel::StartWorker",
               "<%d>\t<%s>,new push server address, replacing the connection");
        Stop();
    }
    const unsigned nGeneration = ++m_nGeneration;
    m_pThread = std::make_unique<QThread>();
    // Deleted on the worker thread after its loop ends, which closes the
    // socket there; the thread object itself is deleted by Stop.
    CTcpConnect* pConnect = new CTcpConnect(strIp, nPort, nullptr);
    pConnect->SetHeartbeatInterval(m_nHeartbeatMs);
    pConnect->moveToThread(m_pThread.get());
    connect(m_pThread.get(), &QThread::finished, pConnect, &QObject::deleteLater);
    connect(m_pThread.get(), &QThread::finished, m_pThread.get(), &QObject::deleteLater);
    connect(pConnect, &CTcpConnect::sigPushAlarm, this, [this, nGeneration](const QByteArray& baPayload) {
        if (nGeneration == m_nGeneration) {
            emit sigPushAlarm(baPayload);
        }
    });
    connect(m_pThread.get(), &QThread::started, [] { CrashAPI_InitThread(); });
    m_pThread->start(QThread::InheritPriority);
    emit pConnect->StartTcpConnect();
}

bool CPushChannel::Stop()
{
    if (!m_pThread) {
        return true;
    }
    ++m_nGeneration;
    m_pThread->quit();
    if (m_pThread->wait(kStopWaitMs)) {
        m_pThread.reset();
        return true;
    }
    // Destroying a running thread would abort the process; its finished
    // signal deletes it instead once it does end.
    MC_LOG(5, "CPushChannel::Stop", "<%d>\t<%s>,push worker did not end within %d ms", kStopWaitMs);
    static_cast<void>(m_pThread.release());
    return false;
}
