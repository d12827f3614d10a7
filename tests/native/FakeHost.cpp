#include "FakeHost.h"

#include "native/CHostFrame.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <memory>

FakeHost::FakeHost(qint64 handle, const QByteArray& garbage, Answer answer)
    : m_handle(handle), m_garbage(garbage), m_answer(answer)
{
}

FakeHost::~FakeHost()
{
    quit();
    wait();
}

bool FakeHost::waitListening()
{
    m_ready.acquire();
    return m_listening;
}

void FakeHost::run()
{
    QLocalServer server;
    m_listening = server.listen(CHostFrame::serverName(m_handle));
    m_ready.release();
    if (!m_listening) {
        return;
    }
    QObject::connect(&server, &QLocalServer::newConnection, &server, [this, &server]() {
        QLocalSocket* socket = server.nextPendingConnection();
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer]() {
            buffer->append(socket->readAll());
            CHostFrame frame;
            QString error;
            while (CHostFrame::takeFrame(*buffer, frame, error) == CHostFrame::Decoded) {
                if (frame.m_eType != CHostFrame::Send && frame.m_eType != CHostFrame::CopyData) {
                    continue;
                }
                if (m_answer == Hangup) {
                    socket->close();
                    return;
                }
                socket->write(m_garbage);
                if (m_answer == AckAfterGarbage) {
                    socket->write(CHostFrame::makeAck(frame.m_nSeq, 5).encode());
                }
                socket->flush();
            }
        });
    });
    exec();
}
