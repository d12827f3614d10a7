#include "HostEndpoint.h"

#include <QLocalServer>
#include <QLocalSocket>

HostEndpoint::HostEndpoint(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &HostEndpoint::onNewConnection);
}

HostEndpoint::~HostEndpoint()
{
    for (const Client& client : qAsConst(m_clients)) {
        client.socket->disconnect(this);
    }
}

bool HostEndpoint::listen(qint64 handle, QString* error)
{
    const QString name = CHostFrame::serverName(handle);
    if (m_server->listen(name)) {
        return true;
    }
    // A socket file left by a host that died is taken over; a live one is not.
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (!probe.waitForConnected(500)) {
            QLocalServer::removeServer(name);
            if (m_server->listen(name)) {
                return true;
            }
        }
    }
    if (error) {
        *error = m_server->errorString();
    }
    return false;
}

QString HostEndpoint::serverName() const
{
    return m_server->serverName();
}

HostEndpoint::Client* HostEndpoint::clientFor(QLocalSocket* socket)
{
    for (Client& client : m_clients) {
        if (client.socket == socket) {
            return &client;
        }
    }
    return nullptr;
}

void HostEndpoint::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_clients.append(Client{socket, QByteArray()});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket]() { onDisconnected(socket); });
        emit clientConnected();
    }
}

void HostEndpoint::onDisconnected(QLocalSocket* socket)
{
    for (int i = 0; i < m_clients.size(); ++i) {
        if (m_clients.at(i).socket == socket) {
            m_clients.removeAt(i);
            socket->disconnect(this);
            socket->deleteLater();
            emit clientDisconnected();
            return;
        }
    }
}

void HostEndpoint::onReadyRead(QLocalSocket* socket)
{
    Client* client = clientFor(socket);
    if (!client) {
        return;
    }
    client->buffer.append(socket->readAll());
    for (;;) {
        CHostFrame frame;
        QString error;
        client = clientFor(socket);
        if (!client) {
            return;
        }
        const CHostFrame::DecodeResult result = CHostFrame::takeFrame(client->buffer, frame, error);
        if (result == CHostFrame::NeedMore) {
            return;
        }
        if (result == CHostFrame::Broken) {
            emit badFrame(error + QStringLiteral(", link closed"));
            socket->abort();
            return;
        }
        if (result == CHostFrame::Dropped) {
            emit badFrame(error);
            continue;
        }
        handleFrame(socket, frame);
    }
}

void HostEndpoint::handleFrame(QLocalSocket* socket, const CHostFrame& frame)
{
    // Answer first: whoever shows the message (a test reading a pipe, say) must
    // not hold up the module's wait.
    answer(socket, frame);
    emit frameReceived(frame);
}

void HostEndpoint::answer(QLocalSocket* socket, const CHostFrame& frame)
{
    switch (frame.m_eType) {
    case CHostFrame::Send:
    case CHostFrame::CopyData: {
        const QList<HostCommand> preAck = m_preAck;
        m_preAck.clear();
        for (const HostCommand& command : preAck) {
            write(socket, CHostFrame::makeCommand(m_nextSeq++, command));
        }
        write(socket, CHostFrame::makeAck(frame.m_nSeq, LRESULT(m_ackResult)));
        break;
    }
    case CHostFrame::RectRequest:
        write(socket, CHostFrame::makeRectReply(frame.m_nSeq, true, m_rect));
        break;
    case CHostFrame::WindowRequest: {
        quint64 holder = 0;
        quint64 hostTop = 0;
        const bool ok = m_embedder && m_embedder(frame.m_nWindow, holder, hostTop);
        write(socket, CHostFrame::makeWindowReply(frame.m_nSeq, ok, holder, hostTop));
        break;
    }
    case CHostFrame::Post:
    case CHostFrame::Signal:
        break;
    default:
        emit badFrame(
            QStringLiteral("%1 frame is not for the host").arg(CHostFrame::typeName(frame.m_eType)));
        break;
    }
}

void HostEndpoint::write(QLocalSocket* socket, const CHostFrame& frame)
{
    socket->write(frame.encode());
    socket->flush();
}

int HostEndpoint::sendCommand(const HostCommand& command)
{
    for (const Client& client : qAsConst(m_clients)) {
        write(client.socket, CHostFrame::makeCommand(m_nextSeq++, command));
    }
    return m_clients.size();
}

int HostEndpoint::sendRaw(const QByteArray& bytes)
{
    for (const Client& client : qAsConst(m_clients)) {
        client.socket->write(bytes);
        client.socket->flush();
    }
    return m_clients.size();
}
