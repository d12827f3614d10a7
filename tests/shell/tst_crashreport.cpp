// Where crash dumps go and how a crash reaches the usage log: from the next
// start, once per dump, only with both usage-log addresses.
#include "base/LaunchValues.h"
#include "logkit/LogKit.h"
#include "platform/CHttpClient.h"
#include "shell/MessageClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestCrashReport : public QObject
{
    Q_OBJECT
private slots:
    void dumpFolderIsItsOwn()
    {
        qunsetenv("MESSAGECLIENT_DUMP_DIR");
        LaunchValues::update([](LaunchValues& values) { values.CfgPath.clear(); });
        const QString defaultDir = MessageClient::DumpFolder();
        QCOMPARE(defaultDir,
                 QDir(QString::fromLocal8Bit(logkit::logDirectory().c_str())).absoluteFilePath("dumps"));
        QVERIFY(defaultDir != QCoreApplication::applicationDirPath());

        QTemporaryDir dir;
        const QString cfgPath = dir.filePath("global_cfg.cfg");
        QFile cfg(cfgPath);
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(
            QStringLiteral("<?xml version=\"1.0\"?><Configure><dump_folder>%1</dump_folder></Configure>")
                .arg(dir.filePath("cfg-dumps"))
                .toUtf8());
        cfg.close();
        LaunchValues::update([&](LaunchValues& values) { values.CfgPath = cfgPath.toStdString(); });
        QCOMPARE(MessageClient::DumpFolder(), dir.filePath("cfg-dumps"));

        qputenv("MESSAGECLIENT_DUMP_DIR", dir.filePath("env-dumps").toLocal8Bit());
        QCOMPARE(MessageClient::DumpFolder(), dir.filePath("env-dumps"));
        qunsetenv("MESSAGECLIENT_DUMP_DIR");
        LaunchValues::update([](LaunchValues& values) { values.CfgPath.clear(); });
    }

    void earlierCrashesReportedOnceWithBothAddresses()
    {
        QTemporaryDir dir;
        for (const char* szName : {"b.dmp", "A.DMP", "0.txt"}) {
            QFile file(dir.filePath(szName));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir("0.dmp")); // a folder is not a dump
        QCOMPARE(MessageClient::UnreportedDumps(dir.path()),
                 QStringList({dir.filePath("A.DMP"), dir.filePath("b.dmp")}));

        logkit::startCapture();
        CHttpClient* pClient = CHttpClient::instance();
        pClient->m_strDcLogUrl = "https://127.0.0.1:1/dclog?type=";
        pClient->m_strCmDclogUrl.clear();
        MessageClient::ReportEarlierCrashes(dir.path());
        QVERIFY(!logkit::captured("Buried Type"));
        QCOMPARE(MessageClient::UnreportedDumps(dir.path()).size(), 2); // kept for a start that can send

        pClient->m_strCmDclogUrl = "app=pc&ver=1";
        MessageClient::ReportEarlierCrashes(dir.path());
        MessageClient::ReportEarlierCrashes(dir.path());
        int nEvents = 0;
        for (const auto& line : logkit::capturedLines()) {
            if (line.tag == "GlobalApplication" &&
                line.text.find("Buried Type:saas_pcclient_dmpinfo content:app=pc&ver=1&module=Message") !=
                    std::string::npos) {
                ++nEvents;
            }
        }
        QCOMPARE(nEvents, 2);
        QVERIFY(logkit::captured("Get Dump File:" + dir.filePath("A.DMP").toStdString(), 5));
        QVERIFY(MessageClient::UnreportedDumps(dir.path()).isEmpty());
        logkit::stopCapture();
    }
};

QTEST_MAIN(TestCrashReport)
#include "tst_crashreport.moc"
