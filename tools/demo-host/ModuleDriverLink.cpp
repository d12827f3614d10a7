#include "ModuleDriverLink.h"

#include <QLocalSocket>

ModuleDriverLink::ModuleDriverLink(QObject* parent) : QObject(parent), m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::readyRead, this, [this]() {
        while (m_socket->canReadLine()) {
            emit answered(QString::fromUtf8(m_socket->readLine()).trimmed());
        }
    });
}

bool ModuleDriverLink::send(const QString& line)
{
    if (m_serverName.isEmpty()) {
        return false;
    }
    if (m_socket->state() != QLocalSocket::ConnectedState) {
        m_socket->abort();
        m_socket->connectToServer(m_serverName);
        if (!m_socket->waitForConnected(2000)) {
            return false;
        }
    }
    m_socket->write(line.toUtf8() + '\n');
    return m_socket->flush() || m_socket->bytesToWrite() == 0;
}
