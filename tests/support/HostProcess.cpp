#include "HostProcess.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

HostProcess::HostProcess(QObject* parent) : QObject(parent), m_process(new QProcess(this))
{
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &HostProcess::readOutput);
}

HostProcess::~HostProcess()
{
    stop();
}

qint64 HostProcess::freshHandle()
{
    static QAtomicInteger<qint64> counter(0);
    return (QCoreApplication::applicationPid() << 16) + (++counter);
}

void HostProcess::setEnvironment(const QProcessEnvironment& environment)
{
    m_process->setProcessEnvironment(environment);
}

bool HostProcess::start(bool startModule, const QStringList& extraArgs, Mode mode)
{
    const QString binDir = qEnvironmentVariable("MC_BIN_DIR", QCoreApplication::applicationDirPath());
    m_handle = freshHandle();
    QStringList args{mode == Headless ? QStringLiteral("--headless") : QStringLiteral("--stdio"),
                     QStringLiteral("--handle"), QString::number(m_handle)};
    if (!startModule) {
        args << QStringLiteral("--no-module");
    }
    args << extraArgs;
    m_lines.clear();
    m_partial.clear();
    m_process->start(QDir(binDir).filePath(QStringLiteral("demo-host")), args);
    return m_process->waitForStarted(5000) && waitForLine(QStringLiteral("READY "), 10000) >= 0;
}

void HostProcess::stop()
{
    if (m_process->state() == QProcess::NotRunning) {
        return;
    }
    m_process->write("quit\n");
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

void HostProcess::kill()
{
    m_process->kill();
    m_process->waitForFinished(3000);
}

bool HostProcess::isRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

void HostProcess::readOutput()
{
    m_partial.append(m_process->readAllStandardOutput());
    for (int newline; (newline = m_partial.indexOf('\n')) >= 0; m_partial.remove(0, newline + 1)) {
        m_lines.append(QString::fromUtf8(m_partial.left(newline)));
    }
}

int HostProcess::waitForLine(const QString& prefix, int timeoutMs, int from)
{
    int index = -1;
    (void)QTest::qWaitFor(
        [&] {
            for (index = qMax(0, from); index < m_lines.size(); ++index) {
                if (m_lines.at(index).startsWith(prefix)) {
                    return true;
                }
            }
            index = -1;
            return m_process->state() == QProcess::NotRunning;
        },
        timeoutMs);
    return index;
}

bool HostProcess::send(const QString& command)
{
    const QByteArray bytes = command.toUtf8() + '\n';
    return m_process->write(bytes) == bytes.size();
}

bool HostProcess::command(const QString& command, int timeoutMs)
{
    const int from = m_lines.size();
    return send(command) && waitForLine(QStringLiteral("OK ") + command.trimmed(), timeoutMs, from) >= 0;
}
