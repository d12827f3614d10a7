#include "push/CTcpConnect.h"

#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "native/LocalAddress.h"

#include <QTcpSocket>
#include <QTimer>

CTcpConnect::CTcpConnect(const QString& strAddress, quint16 nPort, QObject* pParent)
    : QObject(pParent), m_strAddress(strAddress), m_nPort(nPort)
{
    GetLocalAddress(m_strLocalIp, m_strLocalMac);
    connect(this, &CTcpConnect::StartTcpConnect, this, &CTcpConnect::ConnectTcp);
}

CTcpConnect::~CTcpConnect()
{
    CloseSocket();
}

void CTcpConnect::SetHeartbeatInterval(int nMs)
{
    m_nHeartbeatMs = nMs > 0 ? nMs : kDefaultHeartbeatMs;
}

bool CTcpConnect::TakeAlarmPayload(const QByteArray& baMessage, QByteArray& baPayload)
{
    if (baMessage.size() > kMaxMessageBytes) {
        MC_LOG(5, "CTcpConnect::TakeAlarmPayload", "<%d>\t<%s>,push data of %lld bytes above %lld dropped",
               static_cast<long long>(baMessage.size()), static_cast<long long>(kMaxMessageBytes));
        return false;
    }
    const QByteArray baText = QString::fromUtf8(baMessage).toLocal8Bit();
    const int nComma = baText.indexOf(',');
    if (nComma < 0 || baText.left(nComma) != "AIMSG") {
        return false;
    }
    baPayload = baText.mid(nComma + 1);
    return true;
}

void CTcpConnect::ConnectTcp()
{
    if (m_pSocket) {
        return; // one socket per object; Reconnect reuses it
    }
    m_pSocket = new QTcpSocket(this);
    // Lets a read above the cap be seen (and refused) without buffering more.
    m_pSocket->setReadBufferSize(kMaxMessageBytes + 1);
    connect(m_pSocket, &QTcpSocket::connected, this, &CTcpConnect::OnConnectedSlot);
    connect(m_pSocket, &QTcpSocket::errorOccurred, this, &CTcpConnect::OnConnectFailedSlot);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &CTcpConnect::ReceiveMsg);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &CTcpConnect::OnDisconnectSlot);

    // Asynchronous connect with a timer instead of a blocking wait, so that
    // quitting the thread ends it at once even while the server is silent.
    m_pConnectTimer = new QTimer(this);
    m_pConnectTimer->setSingleShot(true);
    connect(m_pConnectTimer, &QTimer::timeout, this, &CTcpConnect::OnConnectFailedSlot);
    m_pHeartbeatTimer = new QTimer(this);
    connect(m_pHeartbeatTimer, &QTimer::timeout, this, &CTcpConnect::OnHeartBeatSlot);
    m_pRetryTimer = new QTimer(this);
    m_pRetryTimer->setSingleShot(true);
    connect(m_pRetryTimer, &QTimer::timeout, this, &CTcpConnect::Reconnect);
    Reconnect();
}

void CTcpConnect::Reconnect()
{
    m_bConnectEnded = false;
    // What a closed connection left half-read belongs to no message of the next.
    m_assembler = CPushMsgAssembler();
    m_pSocket->abort();
    m_pConnectTimer->start(kConnectTimeoutMs);
    MC_LOG(3, "CTcpConnect::Reconnect", "<%d>\t<%s>,Connecting to push server %s:%u",
           m_strAddress.toLocal8Bit().constData(), static_cast<unsigned>(m_nPort));
    m_pSocket->connectToHost(m_strAddress, m_nPort, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void CTcpConnect::OnConnectedSlot()
{
    if (m_bConnectEnded) {
        return;
    }
    m_bConnectEnded = true;
    m_pConnectTimer->stop();
    m_nRetryMs = kFirstRetryMs;
    MC_LOG(3, "CTcpConnect::OnConnectedSlot", "<%d>\t<%s>,Connect Tcp Server Success!");
    SendMsg("START");
    m_pHeartbeatTimer->start(m_nHeartbeatMs);
}

void CTcpConnect::OnConnectFailedSlot()
{
    if (m_bConnectEnded) {
        return; // errors after the connection stood are the disconnect slot's business
    }
    m_bConnectEnded = true;
    const bool bTimedOut = !m_pConnectTimer->isActive();
    m_pConnectTimer->stop();
    MC_LOG(5, "CTcpConnect::OnConnectFailedSlot", "<%d>\t<%s>,Connect Tcp Server Error!");
    MC_LOG(5, "CTcpConnect::OnConnectFailedSlot", "<%d>\t<%s>,push server %s:%u: %s",
           m_strAddress.toLocal8Bit().constData(), static_cast<unsigned>(m_nPort),
           bTimedOut ? "no connection within the time limit"
                     : m_pSocket->errorString().toLocal8Bit().constData());
    m_pSocket->abort();
    RetryLater();
}

void CTcpConnect::RetryLater()
{
    MC_LOG(3, "CTcpConnect::RetryLater", "<%d>\t<%s>,connecting again in %d ms", m_nRetryMs);
    m_pRetryTimer->start(m_nRetryMs);
    m_nRetryMs = qMin(m_nRetryMs * 2, kLastRetryMs);
}

void CTcpConnect::SendMsg(const std::string& strType)
{
    // A closed or never opened socket gets nothing, rather than a failing write.
    if (!m_pSocket || m_pSocket->state() != QAbstractSocket::ConnectedState) {
        return;
    }
    const std::string strText =
        strType + "," + LaunchValues::snapshot().Token + m_strLocalMac + "test" + ",10005";
    m_pSocket->write(strText.data(), static_cast<qint64>(strText.size()));
    m_pSocket->flush();
}

void CTcpConnect::ReceiveMsg()
{
    QByteArray baMessage;
    QByteArray baPayload;
    if (!m_assembler.Feed(m_pSocket->readAll(), baMessage) || !TakeAlarmPayload(baMessage, baPayload)) {
        return;
    }
    MC_LOG(3, "CTcpConnect::ReceiveMsg", "<%d>\t<%s>,AIMSG:%s", baPayload.constData());
    emit sigPushAlarm(baPayload);
}

void CTcpConnect::OnHeartBeatSlot()
{
    SendMsg("HEARTBEAT");
}

void CTcpConnect::OnDisconnectSlot()
{
    if (!m_bConnectEnded || m_pRetryTimer->isActive()) {
        return; // the end of a connect that failed, already counted
    }
    // Alarms announced while the channel is down would never reach the host.
    MC_LOG(5, "CTcpConnect::OnDisconnectSlot", "<%d>\t<%s>,push server closed the connection");
    m_pHeartbeatTimer->stop();
    RetryLater();
}

void CTcpConnect::CloseSocket()
{
    if (m_pConnectTimer) {
        m_pConnectTimer->stop();
    }
    if (m_pHeartbeatTimer) {
        m_pHeartbeatTimer->stop();
    }
    if (m_pRetryTimer) {
        m_pRetryTimer->stop();
    }
    if (m_pSocket) {
        m_pSocket->disconnect(this); // no slot of a half-destroyed object
        m_pSocket->abort();
    }
}
