// The crash handler in a child process: a fatal signal leaves a dump, runs the
// callback and still kills the process with that signal.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestCrashApi : public QObject
{
    Q_OBJECT
private slots:
    void fatalSignalLeavesDumpAndRunsCallback_data();
    void fatalSignalLeavesDumpAndRunsCallback();
    void uninitRestoresThePreviousHandlers();
    void endOwnProcessKeepsTheLogAndTheExitCode();

private:
    struct Run
    {
        QProcess::ExitStatus status = QProcess::NormalExit;
        int exitCode = -1;
        QStringList dumps;
        bool marker = false;
        qint64 pid = 0;
    };
    Run runHelper(const QString& mode, const QTemporaryDir& dir);
};

TestCrashApi::Run TestCrashApi::runHelper(const QString& mode, const QTemporaryDir& dir)
{
    Run run;
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MESSAGECLIENT_LOG_DIR"), dir.filePath(QStringLiteral("log")));
    helper.setProcessEnvironment(env);
    helper.setWorkingDirectory(dir.path());
    const QString binDir = qEnvironmentVariable("MC_BIN_DIR", QCoreApplication::applicationDirPath());
    helper.start(QDir(binDir).filePath(QStringLiteral("native_crash_helper")),
                 {mode, dir.filePath(QStringLiteral("dumps")), dir.filePath(QStringLiteral("marker"))});
    if (!helper.waitForStarted(5000)) {
        return run;
    }
    run.pid = helper.processId();
    helper.waitForFinished(30000);
    run.status = helper.exitStatus();
    run.exitCode = helper.exitCode();
    run.dumps = QDir(dir.filePath(QStringLiteral("dumps"))).entryList({QStringLiteral("*.dmp")}, QDir::Files);
    run.marker = QFile::exists(dir.filePath(QStringLiteral("marker")));
    return run;
}

void TestCrashApi::fatalSignalLeavesDumpAndRunsCallback_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("signalText");
    QTest::newRow("segv") << "segv" << QStringLiteral("signal: %1 (SIGSEGV)").arg(SIGSEGV);
    QTest::newRow("abort") << "abort" << QStringLiteral("signal: %1 (SIGABRT)").arg(SIGABRT);
}

void TestCrashApi::fatalSignalLeavesDumpAndRunsCallback()
{
    QFETCH(QString, mode);
    QFETCH(QString, signalText);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dumps")));
    const Run run = runHelper(mode, dir);

    QCOMPARE(run.status, QProcess::CrashExit);
    QVERIFY(run.marker);
    QCOMPARE(run.dumps.size(), 1);
    const QString name = run.dumps.first();
    QVERIFY2(QRegularExpression(QStringLiteral("^native_crash_helper-%1-\\d{8}T\\d{6}Z\\.dmp$").arg(run.pid))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));

    QFile dump(dir.filePath(QStringLiteral("dumps/") + name));
    QVERIFY(dump.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(dump.readAll());
    QVERIFY2(text.contains(signalText), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("pid: %1").arg(run.pid)));
    QVERIFY(text.contains(QStringLiteral("backtrace:\n")));
    // At least a few frames were written below the header.
    QVERIFY(text.section(QStringLiteral("backtrace:\n"), 1).count(QLatin1Char('\n')) >= 3);
}

void TestCrashApi::uninitRestoresThePreviousHandlers()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dumps")));
    const Run run = runHelper(QStringLiteral("uninit"), dir);
    QCOMPARE(run.status, QProcess::CrashExit);
    QVERIFY(run.dumps.isEmpty());
    QVERIFY(!run.marker);
}

void TestCrashApi::endOwnProcessKeepsTheLogAndTheExitCode()
{
    QTemporaryDir dir;
    const Run run = runHelper(QStringLiteral("exit"), dir);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 7);
    QFile log(dir.filePath(QStringLiteral("log/MessageClient.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    // Written at level 3 just before _exit: only an explicit flush keeps it.
    QVERIFY2(text.contains("process ends with code 7"), text.constData());
}

QTEST_GUILESS_MAIN(TestCrashApi)
#include "tst_crashapi.moc"
