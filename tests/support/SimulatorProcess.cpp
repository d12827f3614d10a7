#include "SimulatorProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

namespace {

const int kAdminTimeoutMs = 10000;
const QString kBinary = qEnvironmentVariableIsEmpty("MC_BIN_DIR")
                            ? QString("platform-sim")
                            : qEnvironmentVariable("MC_BIN_DIR") + "/platform-sim";

} // namespace

SimulatorProcess::SimulatorProcess(QStringList extraArgs) : m_extraArgs(std::move(extraArgs)) {}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

bool SimulatorProcess::start(int timeoutMs)
{
    stop();
    m_dir = std::make_unique<QTemporaryDir>();
    return launch(m_extraArgs, timeoutMs);
}

bool SimulatorProcess::restart(int timeoutMs)
{
    stop();
    if (!m_dir || m_ready.isEmpty()) {
        m_error = QStringLiteral("never started");
        return false;
    }
    const QStringList ports{"--port",       QString::number(httpsPort()),
                            "--push-port",  QString::number(pushPort()),
                            "--admin-port", QString::number(adminPort())};
    return launch(m_extraArgs + ports, timeoutMs);
}

bool SimulatorProcess::launch(const QStringList& extraArgs, int timeoutMs)
{
    const QString readyFile = m_dir->path() + "/ready.json";
    QFile::remove(readyFile);
    m_ready = QJsonObject();
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(m_dir->path() + "/stdout.txt", QIODevice::Append);
    if (m_keepLog)
        m_process->setStandardErrorFile(m_dir->path() + "/stderr.txt", QIODevice::Append);
    else
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(kBinary, QStringList{"--data-dir", m_dir->path() + "/data", "--ready-file", readyFile} +
                                  extraArgs);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && m_process->waitForStarted(5000)) {
        QFile file(readyFile);
        if (file.open(QIODevice::ReadOnly) &&
            !(m_ready = QJsonDocument::fromJson(file.readAll()).object()).isEmpty())
            return true;
        QThread::msleep(20);
    }
    m_error = QString("platform-sim not ready within %1 ms: %2").arg(timeoutMs).arg(m_process->exitCode());
    stop();
    return false;
}

void SimulatorProcess::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        m_process->waitForFinished(10000);
    }
    kill();
}

void SimulatorProcess::kill()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}

QByteArray SimulatorProcess::log() const
{
    QFile file(m_dir ? m_dir->path() + "/stderr.txt" : QString());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool SimulatorProcess::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

bool SimulatorProcess::post(const QString& path, const QJsonObject& body)
{
    return admin("POST", path, body).value("ok").toBool();
}

QJsonObject SimulatorProcess::admin(const QByteArray& method, const QString& path, const QJsonObject& body,
                                    int* status)
{
    if (status)
        *status = 0;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(adminPort()));
    if (!socket.waitForConnected(kAdminTimeoutMs))
        return {};
    QByteArray payload = method == "GET" ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    QByteArray request =
        method + " " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
        "Authorization: Bearer " + adminToken().toUtf8() + "\r\n" +
        "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(payload.size()) +
        "\r\n\r\n" + payload;
    socket.write(request);
    QByteArray raw;
    QDeadlineTimer deadline(kAdminTimeoutMs);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
            raw += socket.readAll();
    }
    raw += socket.readAll();
    // The admin side answers with a length, never in chunks.
    const int headEnd = raw.indexOf("\r\n\r\n");
    if (!raw.startsWith("HTTP/1.") || headEnd < 0)
        return {};
    if (status)
        *status = raw.mid(9, 3).toInt();
    return QJsonDocument::fromJson(raw.mid(headEnd + 4)).object();
}

QJsonArray SimulatorProcess::addAlarm(const QJsonObject& fields)
{
    return admin("POST", "/admin/alarms", fields).value("ids").toArray();
}

bool SimulatorProcess::setFault(const QString& path, int status, int delayMs, bool drop, int count,
                                const QString& body)
{
    QJsonObject fault{
        {"path", path}, {"status", status}, {"delayMs", delayMs}, {"drop", drop}, {"body", body}};
    fault["count"] = count;
    return post("/admin/faults", fault);
}

bool SimulatorProcess::clearFaults()
{
    return post("/admin/faults/reset");
}

QJsonArray SimulatorProcess::lastRequests(const QString& path, int limit)
{
    // One arg() call: the encoded path holds "%2F", which a second arg() would take for a placeholder.
    return admin("GET", QString("/admin/requests?path=%1&limit=%2")
                            .arg(QString::fromUtf8(QUrl::toPercentEncoding(path)), QString::number(limit)))
        .value("requests")
        .toArray();
}

bool SimulatorProcess::expireToken(const QString& token)
{
    return post("/admin/tokens/expire", {{"token", token}});
}

bool SimulatorProcess::takeOverLogin(const QString& token, const QString& msg)
{
    return post("/admin/login/takeover", {{"token", token}, {"msg", msg}});
}

bool SimulatorProcess::setDeviceOnline(const QString& serial, int channelNo, bool online)
{
    return post("/admin/devices", {{"deviceSerial", serial}, {"channelNo", channelNo}, {"online", online}});
}

int SimulatorProcess::controlStreams(const QString& action, const QString& serial, int channelNo)
{
    QJsonObject body{{"action", action}, {"deviceSerial", serial}, {"channelNo", channelNo}};
    return admin("POST", "/admin/streams", body).value("matched").toInt(-1);
}

QJsonArray SimulatorProcess::cameras()
{
    return admin("GET", "/admin/cameras").value("cameras").toArray();
}
