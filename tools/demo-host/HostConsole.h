// The host's console for scripts and tests: commands on stdin, one line per
// event on stdout. Always there in headless mode; with --stdio also beside
// the window, which then takes the commands on its own window.
#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

class HostEndpoint;
class ModuleDriverLink;
class ModuleProcess;
class QSocketNotifier;
struct ScriptLine;

class HostConsole : public QObject
{
    Q_OBJECT
public:
    HostConsole(HostEndpoint* endpoint, ModuleProcess* module, ModuleDriverLink* driver,
                QObject* parent = nullptr);

    // Applies the operations on the host's own window; returns an error text or
    // nothing. Without one they are refused.
    using WindowHandler = std::function<QString(const ScriptLine& line)>;
    void setWindowHandler(WindowHandler handler) { m_windowHandler = std::move(handler); }

    void start();
    static void print(const QString& line);

private:
    void readInput();
    void handleLine(const QString& line);
    void apply(const ScriptLine& script, const QString& line);

    HostEndpoint* m_endpoint;
    ModuleProcess* m_module;
    ModuleDriverLink* m_driver;
    WindowHandler m_windowHandler;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};
