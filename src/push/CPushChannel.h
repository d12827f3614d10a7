// The window's side of the push channel: asks the push-information service for
// the push server's address and runs one connection to it on a worker thread.
#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>
#include <string>

class QNetworkAccessManager;
class QThread;

class CPushChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int kStopWaitMs = 3000;

    explicit CPushChannel(QObject* pParent = nullptr);
    ~CPushChannel() override;

    // Posts the "GetPushUrl" request on the window's manager; the reply comes
    // back through the manager's finished signal and its body goes to
    // OnPushUrlReply.
    void Start(QNetworkAccessManager& manager);

    // Starts a connection to the server the reply names; a connection that
    // already runs is stopped first, so the newest address is the one in use.
    void OnPushUrlReply(const std::string& strBody);

    // Ends the worker: false when it did not end within kStopWaitMs (it is then
    // left to delete itself when it does end).
    bool Stop();

    bool IsRunning() const { return static_cast<bool>(m_pThread); }

    // For connections started afterwards; the default is the platform's 10 s.
    void SetHeartbeatInterval(int nMs) { m_nHeartbeatMs = nMs; }

signals:
    // One owned copy per alarm notice, on the GUI thread, in the local 8-bit
    // code page as received after "AIMSG,".
    void sigPushAlarm(QByteArray payload);

private:
    void StartWorker(const QString& strIp, quint16 nPort);

    std::unique_ptr<QThread> m_pThread;
    int m_nHeartbeatMs;
    // Alarms of a worker that was replaced or abandoned are not passed on.
    unsigned m_nGeneration = 0;
};
