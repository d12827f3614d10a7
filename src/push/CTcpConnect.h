// One connection to the push server, living on the push worker thread: it
// announces itself, keeps a heartbeat, hands every alarm notice over, and
// connects again when the server closes or cannot be reached.
#pragma once

#include "push/CPushMsgAssembler.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <string>

class QTcpSocket;
class QTimer;

class CTcpConnect : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultHeartbeatMs = 10000;
    static constexpr int kConnectTimeoutMs = 30000;
    // Waits before connecting again: doubled after each failure up to the
    // last, back to the first once a connection stands.
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;
    // A message above this is refused: the protocol has no framing, so a
    // peer that floods cannot make the worker hold more than this at once.
    static constexpr qint64 kMaxMessageBytes = CPushMsgAssembler::kMaxMessageBytes;

    CTcpConnect(const QString& strAddress, quint16 nPort, QObject* pParent = nullptr);
    ~CTcpConnect() override;

    // Call before the object moves to its thread.
    void SetHeartbeatInterval(int nMs);

    // What one message from the server means: true with the payload for an
    // alarm notice ("AIMSG", the text after the first comma); false for every
    // other type, for text without a comma and for a message above the cap.
    static bool TakeAlarmPayload(const QByteArray& baMessage, QByteArray& baPayload);

signals:
    void StartTcpConnect();
    // An owned copy of the payload, in the local 8-bit code page.
    void sigPushAlarm(QByteArray payload);

private slots:
    void ConnectTcp();
    void ReceiveMsg();
    void OnHeartBeatSlot();
    void OnDisconnectSlot();
    void OnConnectedSlot();
    void OnConnectFailedSlot();
    void Reconnect();

private:
    void SendMsg(const std::string& strType);
    void RetryLater();
    void CloseSocket();

    QTcpSocket* m_pSocket = nullptr;
    QTimer* m_pHeartbeatTimer = nullptr;
    QTimer* m_pConnectTimer = nullptr;
    QTimer* m_pRetryTimer = nullptr;
    int m_nRetryMs = kFirstRetryMs;
    QString m_strAddress;
    quint16 m_nPort = 0;
    int m_nHeartbeatMs = kDefaultHeartbeatMs;
    std::string m_strLocalIp;
    std::string m_strLocalMac;
    bool m_bConnectEnded = false;
    CPushMsgAssembler m_assembler;
};
