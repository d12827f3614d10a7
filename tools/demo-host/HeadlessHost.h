// Scriptable host for tests: commands on stdin, one line per event on stdout.
#pragma once

#include <QByteArray>
#include <QObject>

class HostEndpoint;
class ModuleProcess;
class QSocketNotifier;
struct ScriptLine;

class HeadlessHost : public QObject
{
    Q_OBJECT
public:
    HeadlessHost(HostEndpoint* endpoint, ModuleProcess* module, QObject* parent = nullptr);

    void start();

private:
    void readInput();
    void handleLine(const QString& line);
    void apply(const ScriptLine& script, const QString& line);
    static void print(const QString& line);

    HostEndpoint* m_endpoint;
    ModuleProcess* m_module;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};
