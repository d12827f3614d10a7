#include "HostConsole.h"

#include "HostEndpoint.h"
#include "HostScript.h"
#include "MessageText.h"
#include "ModuleDriverLink.h"
#include "ModuleProcess.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

HostConsole::HostConsole(HostEndpoint* endpoint, ModuleProcess* module, ModuleDriverLink* driver,
                         QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_module(module), m_driver(driver)
{
    connect(m_endpoint, &HostEndpoint::clientConnected, this, []() { print(QStringLiteral("CONNECTED")); });
    connect(m_endpoint, &HostEndpoint::clientDisconnected, this,
            []() { print(QStringLiteral("DISCONNECTED")); });
    connect(m_endpoint, &HostEndpoint::frameReceived, this,
            [](const CHostFrame& frame) { print(frameLine(frame)); });
    connect(m_endpoint, &HostEndpoint::badFrame, this,
            [](const QString& reason) { print(QStringLiteral("BADFRAME ") + reason); });
    connect(m_module, &ModuleProcess::started, this,
            [](qint64 pid) { print(QStringLiteral("MODULE STARTED %1").arg(pid)); });
    connect(m_module, &ModuleProcess::finished, this, [](int code, bool crashed) {
        print(QStringLiteral("MODULE EXITED %1%2")
                  .arg(code)
                  .arg(crashed ? QStringLiteral(" crashed") : QString()));
    });
    // The module's own output goes to stderr so that stdout stays one event a line.
    connect(m_module, &ModuleProcess::output, this, [](const QByteArray& bytes) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    });
    connect(m_driver, &ModuleDriverLink::answered, this,
            [](const QString& answer) { print(QStringLiteral("UI ") + answer); });
}

void HostConsole::start()
{
    print(QStringLiteral("READY ") + m_endpoint->serverName());
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HostConsole::readInput);
}

void HostConsole::print(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void HostConsole::readInput()
{
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof(buffer));
    if (count <= 0) {
        // End of input ends the host, as "quit" does.
        m_notifier->setEnabled(false);
        QCoreApplication::quit();
        return;
    }
    m_pending.append(buffer, int(count));
    int newline = 0;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(newline));
        m_pending.remove(0, newline + 1);
        handleLine(line);
    }
}

void HostConsole::handleLine(const QString& line)
{
    ScriptLine script;
    QString error;
    if (!parseScriptLine(line, script, error)) {
        print(QStringLiteral("ERROR ") + error);
        return;
    }
    apply(script, line.trimmed());
}

void HostConsole::apply(const ScriptLine& script, const QString& line)
{
    switch (script.kind) {
    case ScriptLine::Empty:
        return;
    case ScriptLine::Quit:
        print(QStringLiteral("OK quit"));
        m_notifier->setEnabled(false);
        QCoreApplication::quit();
        return;
    case ScriptLine::AckResult:
        m_endpoint->setAckResult(script.number);
        break;
    case ScriptLine::PreAck:
        m_endpoint->addPreAckCommand(script.command);
        break;
    case ScriptLine::Rect:
        m_endpoint->setWindowRect(script.rect);
        break;
    case ScriptLine::Command:
        if (m_endpoint->sendCommand(script.command) == 0) {
            print(QStringLiteral("ERROR no module connected: ") + line);
            return;
        }
        break;
    case ScriptLine::Raw:
        if (m_endpoint->sendRaw(script.bytes) == 0) {
            print(QStringLiteral("ERROR no module connected: ") + line);
            return;
        }
        break;
    case ScriptLine::Window: {
        const QString error =
            m_windowHandler ? m_windowHandler(script) : QStringLiteral("no host window in headless mode");
        if (!error.isEmpty()) {
            print(QStringLiteral("ERROR %1: %2").arg(error, line));
            return;
        }
        break;
    }
    case ScriptLine::Ui:
        // The answer follows as "UI <answer>".
        if (!m_driver->send(script.text)) {
            print(QStringLiteral("ERROR module driver not reachable: ") + line);
            return;
        }
        break;
    }
    print(QStringLiteral("OK ") + line);
}
