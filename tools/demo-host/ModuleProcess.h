// The module's process as the host starts it: executable plus launch string.
#pragma once

#include <QObject>
#include <QString>

class QProcess;

// The launch string with "ParentWnd:<handle>" added unless it names one already.
QString launchWithHandle(const QString& launch, qint64 handle);

// The launch string with every item of that key replaced by one with the value.
QString launchWithItem(const QString& launch, const QString& key, const QString& value);

class ModuleProcess : public QObject
{
    Q_OBJECT
public:
    explicit ModuleProcess(QObject* parent = nullptr);
    ~ModuleProcess() override;

    bool start(const QString& program, const QString& launch);

    // Later starts load the module driver from libraryDir, listening on serverName.
    void enableDriver(const QString& libraryDir, const QString& serverName);
    bool isRunning() const;
    void stop();

signals:
    void started(qint64 pid);
    void finished(int exitCode, bool crashed);
    void output(const QByteArray& bytes);

private:
    QProcess* m_process = nullptr;
};
