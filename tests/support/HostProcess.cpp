#include "HostProcess.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

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
    if (!m_process->waitForStarted(5000)) {
        return false;
    }
    return waitForLine(QStringLiteral("READY "), 10000) >= 0;
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
    int newline = 0;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_partial.left(newline));
        m_partial.remove(0, newline + 1);
        m_lines.append(line);
        emit lineArrived(line);
    }
}

int HostProcess::waitForLine(const QString& prefix, int timeoutMs, int from)
{
    auto find = [this, &prefix, from]() {
        for (int i = qMax(0, from); i < m_lines.size(); ++i) {
            if (m_lines.at(i).startsWith(prefix)) {
                return i;
            }
        }
        return -1;
    };
    int index = find();
    if (index >= 0 || m_process->state() == QProcess::NotRunning) {
        return index;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &HostProcess::lineArrived, &loop, [&loop, &prefix](const QString& line) {
        if (line.startsWith(prefix)) {
            loop.quit();
        }
    });
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
            &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    return find();
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
