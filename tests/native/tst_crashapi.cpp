// The crash handler in a child process (native_crash_helper): a fatal signal
// leaves exactly this process's dump, runs the callback and still kills the
// process with that signal, within a bound even when the callback or the
// logger is stuck; without the handler, or on a planned end, no dump.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestCrashApi : public QObject
{
    Q_OBJECT
private slots:
    void childEndsAsExpected_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("signalNumber"); // 0: ends by itself with code 7
        QTest::addColumn<QString>("logged");   // a line the module's log must hold
        QTest::newRow("segv") << "segv" << int(SIGSEGV) << "";
        QTest::newRow("abort") << "abort" << int(SIGABRT) << "";
        // Only the thread's own alternate stack lets the handler run at all.
        QTest::newRow("stack overflow in a thread") << "overflow" << int(SIGSEGV) << "";
        // The watchdog ends the process.
        QTest::newRow("callback hangs") << "hang" << int(SIGSEGV) << "";
        QTest::newRow("module callback, logger locked") << "report" << int(SIGSEGV) << "Get Dump File:";
        QTest::newRow("handler removed") << "uninit" << int(SIGABRT) << "";
        // Written at level 3 just before _exit: only an explicit flush keeps it.
        QTest::newRow("own end") << "exit" << 0 << "process ends with code 7";
    }

    void childEndsAsExpected()
    {
        QFETCH(QString, mode);
        QFETCH(int, signalNumber);
        QFETCH(QString, logged);
        QTemporaryDir dir;
        const QString dumps = dir.filePath(QStringLiteral("dumps"));
        QVERIFY(QDir().mkpath(dumps));
        // Dumps of earlier crashes are not this process's.
        const QStringList earlier{"A.DMP", "native_crash_helper-1-20200101T000000Z.dmp"};
        for (const QString& name : earlier)
            QVERIFY(QFile(dumps + '/' + name).open(QIODevice::WriteOnly));
        QProcess helper;
        qputenv("MESSAGECLIENT_LOG_DIR", dir.filePath(QStringLiteral("log")).toLocal8Bit());
        helper.setWorkingDirectory(dir.path());
        helper.start(QDir(qEnvironmentVariable("MC_BIN_DIR")).filePath(QStringLiteral("native_crash_helper")),
                     {mode, dumps, dir.filePath(QStringLiteral("marker"))});
        QVERIFY(helper.waitForStarted(5000));
        const qint64 pid = helper.processId();
        QVERIFY2(helper.waitForFinished(30000), "still running after 30 s");
        QCOMPARE(helper.exitStatus(), signalNumber ? QProcess::CrashExit : QProcess::NormalExit);
        QStringList found = QDir(dumps).entryList({QStringLiteral("*.dmp")}, QDir::Files);
        for (const QString& name : earlier)
            QVERIFY(found.removeOne(name));
        const bool handled = signalNumber && mode != QLatin1String("uninit");
        QCOMPARE(found.size(), handled ? 1 : 0);
        QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("marker"))),
                 handled && mode != QLatin1String("report"));
        if (!signalNumber)
            QCOMPARE(helper.exitCode(), 7);
        const auto contents = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        if (handled) {
            const QString name = found.first();
            const QRegularExpression pattern(
                QStringLiteral("^native_crash_helper-%1-\\d{8}T\\d{6}Z\\.dmp$").arg(pid));
            QVERIFY2(pattern.match(name).hasMatch(), qPrintable(name));
            const QString text = contents(dumps + '/' + name);
            QVERIFY2(text.contains(QStringLiteral("signal: %1 (").arg(signalNumber)), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("pid: %1").arg(pid)));
            QVERIFY(text.section(QStringLiteral("backtrace:\n"), 1).count(QLatin1Char('\n')) >= 3);
            if (!logged.isEmpty())
                logged += QDir(dumps).absoluteFilePath(name); // the log names this very dump
        }
        const QString log = contents(dir.filePath(QStringLiteral("log/MessageClient.log")));
        QVERIFY2(log.contains(logged), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestCrashApi)
#include "tst_crashapi.moc"
