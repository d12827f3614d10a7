// The host's end of the link: a local server named after the window handle,
// which acknowledges what the module sends and carries commands back to it.
#pragma once

#include "native/CHostFrame.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

class HostEndpoint : public QObject
{
    Q_OBJECT
public:
    explicit HostEndpoint(QObject* parent = nullptr);
    ~HostEndpoint() override;

    bool listen(qint64 handle, QString* error);
    QString serverName() const;
    int clientCount() const { return m_clients.size(); }

    // To every connected module; returns how many got it.
    int sendCommand(const HostCommand& command);
    // Bytes as they are, frame or not, to every connected module.
    int sendRaw(const QByteArray& bytes);
    void setAckResult(qint64 result) { m_ackResult = result; }
    void addPreAckCommand(const HostCommand& command) { m_preAck.append(command); }
    void setWindowRect(const RECT& rect) { m_rect = rect; }

    // Takes the module's native window into one of the host's; false when the
    // host has no window for it. Without one, every offer is refused.
    using Embedder = std::function<bool(quint64 moduleWindow, quint64& holder, quint64& hostTop)>;
    void setEmbedder(Embedder embedder) { m_embedder = std::move(embedder); }

signals:
    void clientConnected();
    void clientDisconnected();
    void frameReceived(const CHostFrame& frame);
    void badFrame(const QString& reason);

private:
    struct Client
    {
        QLocalSocket* socket = nullptr;
        QByteArray buffer;
    };

    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void onDisconnected(QLocalSocket* socket);
    void handleFrame(QLocalSocket* socket, const CHostFrame& frame);
    void answer(QLocalSocket* socket, const CHostFrame& frame);
    void write(QLocalSocket* socket, const CHostFrame& frame);
    Client* clientFor(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
    QList<Client> m_clients;
    qint64 m_ackResult = 1;
    QList<HostCommand> m_preAck;
    RECT m_rect{100, 100, 1460, 868};
    Embedder m_embedder;
    quint32 m_nextSeq = 1;
};
