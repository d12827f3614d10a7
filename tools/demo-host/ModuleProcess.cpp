#include "ModuleProcess.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

QString launchWithHandle(const QString& launch, qint64 handle)
{
    const QStringList items = launch.split(QLatin1Char(';'));
    for (const QString& item : items) {
        if (item.startsWith(QLatin1String("ParentWnd:"))) {
            return launch;
        }
    }
    const QString parent = QStringLiteral("ParentWnd:%1").arg(handle);
    return launch.isEmpty() ? parent : launch + QLatin1Char(';') + parent;
}

QString launchWithItem(const QString& launch, const QString& key, const QString& value)
{
    QStringList items;
    for (const QString& item : launch.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!item.startsWith(key + QLatin1Char(':'))) {
            items << item;
        }
    }
    items << key + QLatin1Char(':') + value;
    return items.join(QLatin1Char(';'));
}

ModuleProcess::ModuleProcess(QObject* parent) : QObject(parent), m_process(new QProcess(this))
{
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this]() { emit output(m_process->readAllStandardOutput()); });
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus status) {
                emit finished(exitCode, status == QProcess::CrashExit);
            });
}

ModuleProcess::~ModuleProcess()
{
    m_process->disconnect(this);
    stop();
}

bool ModuleProcess::start(const QString& program, const QString& launch)
{
    if (isRunning()) {
        return true;
    }
    m_process->start(program, {launch});
    if (!m_process->waitForStarted(5000)) {
        return false;
    }
    emit started(m_process->processId());
    return true;
}

void ModuleProcess::enableDriver(const QString& libraryDir, const QString& serverName)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString path = environment.value(QStringLiteral("LD_LIBRARY_PATH"));
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                       path.isEmpty() ? libraryDir : libraryDir + QLatin1Char(':') + path);
    environment.insert(QStringLiteral("QT_LOAD_TESTABILITY"), QStringLiteral("1"));
    environment.insert(QStringLiteral("MC_MODULE_DRIVER"), serverName);
    m_process->setProcessEnvironment(environment);
}

bool ModuleProcess::isRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

void ModuleProcess::stop()
{
    if (!isRunning()) {
        return;
    }
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}
