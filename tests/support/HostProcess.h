// A demo host as a child process of a test: a fresh handle, its output lines, commands to it.
#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>

class QProcess;

class HostProcess : public QObject
{
public:
    explicit HostProcess(QObject* parent = nullptr);
    ~HostProcess() override;

    static qint64 freshHandle();
    // Headless: --headless, no window; Windowed: --stdio, the host's window with the same console.
    enum Mode
    {
        Headless,
        Windowed
    };

    // Starts $MC_BIN_DIR/demo-host with a fresh handle and waits for its READY line.
    bool start(bool startModule = false, const QStringList& extraArgs = {}, Mode mode = Headless);
    void setEnvironment(const QProcessEnvironment& environment);
    void stop();
    // Ends it at once (SIGKILL): its socket file stays behind, nobody listens.
    void kill();
    bool isRunning() const;

    qint64 handle() const { return m_handle; }
    QStringList lines() const { return m_lines; }

    // Index of the first line from `from` on that starts with prefix, waiting (events
    // keep running) up to timeoutMs; -1 when none came.
    int waitForLine(const QString& prefix, int timeoutMs = 5000, int from = 0);

    // Writes one command line.
    bool send(const QString& command);
    // Writes a command and waits for the host's "OK <command>".
    bool command(const QString& command, int timeoutMs = 5000);

private:
    void readOutput();

    QProcess* m_process = nullptr;
    qint64 m_handle = 0;
    QStringList m_lines;
    QByteArray m_partial;
};
