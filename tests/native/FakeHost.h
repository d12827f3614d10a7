// A host that misbehaves on purpose: on its own thread (the link blocks the
// test's thread while it waits), it answers every acknowledged request with
// configured raw bytes, then, if asked to, the proper acknowledgement.
#pragma once

#include <QByteArray>
#include <QSemaphore>
#include <QThread>

class FakeHost : public QThread
{
public:
    enum Answer
    {
        AckAfterGarbage, // garbage, then a valid ack with result 5
        GarbageOnly,     // garbage and no ack
        Hangup           // close the connection instead of answering
    };

    FakeHost(qint64 handle, const QByteArray& garbage, Answer answer);
    ~FakeHost() override;

    bool waitListening();

protected:
    void run() override;

private:
    qint64 m_handle;
    QByteArray m_garbage;
    Answer m_answer;
    QSemaphore m_ready;
    bool m_listening = false;
};
