// The crash handler in a child process: a fatal signal leaves exactly this
// process's dump, runs the callback and still kills the process with that
// signal, within a bound even when the callback or the logger is stuck.
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
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("segv") << "segv" << int(SIGSEGV);
    QTest::newRow("abort") << "abort" << int(SIGABRT);
    // A non-GUI thread whose stack overflows: only its own alternate stack
    // lets the handler run at all.
    QTest::newRow("stack overflow in a thread") << "overflow" << int(SIGSEGV);
    // The callback never returns: the watchdog ends the process.
    QTest::newRow("callback hangs") << "hang" << int(SIGSEGV);
    // The module's callback while the log library's lock is held elsewhere.
    QTest::newRow("module callback, logger locked") << "report" << int(SIGSEGV);
}

void TestCrashApi::fatalSignalLeavesDumpAndRunsCallback()
{
    QFETCH(QString, mode);
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dumps")));
    // Dumps of earlier crashes are not this process's.
    const QStringList earlier = {QStringLiteral("A.DMP"),
                                 QStringLiteral("native_crash_helper-1-20200101T000000Z.dmp")};
    for (const QString& name : earlier) {
        QFile file(dir.filePath(QStringLiteral("dumps/") + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const Run run = runHelper(mode, dir);

    QCOMPARE(run.status, QProcess::CrashExit);
    QVERIFY(run.marker || mode == QLatin1String("report"));
    QStringList dumps = run.dumps;
    for (const QString& name : earlier) {
        QVERIFY(dumps.removeOne(name));
    }
    QCOMPARE(dumps.size(), 1);
    const QString name = dumps.first();
    QVERIFY2(QRegularExpression(QStringLiteral("^native_crash_helper-%1-\\d{8}T\\d{6}Z\\.dmp$").arg(run.pid))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));

    QFile dump(dir.filePath(QStringLiteral("dumps/") + name));
    QVERIFY(dump.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(dump.readAll());
    QVERIFY2(text.contains(QStringLiteral("signal: %1 (").arg(signalNumber)), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("pid: %1").arg(run.pid)));
    // At least a few frames were written below the header.
    QVERIFY(text.section(QStringLiteral("backtrace:\n"), 1).count(QLatin1Char('\n')) >= 3);

    if (mode == QLatin1String("report")) {
        QFile log(dir.filePath(QStringLiteral("log/MessageClient.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString logText = QString::fromLocal8Bit(log.readAll());
        QVERIFY2(logText.contains(QStringLiteral("Crash,Report Dump File Start...")), qPrintable(logText));
        QVERIFY2(logText.contains(QStringLiteral("Get Dump File:") +
                                  QDir(dir.filePath(QStringLiteral("dumps"))).absoluteFilePath(name)),
                 qPrintable(logText));
    }
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
