// The launch string as the host writes it and the odd strings it has been seen to write (its
// numbers: the launch-string fuzz target); the configuration file in any state; where crash
// dumps go and how they reach the usage log.
#include "base/CfgReader.h"
#include "base/LaunchValues.h"
#include "logkit/LogKit.h"
#include "native/ModulePath.h"
#include "platform/CHttpClient.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestShellUnit : public QObject
{
    Q_OBJECT
private:
    int m_nProcessEnds = 0;
    QTemporaryDir m_dir;
    static void WriteFile(const QString& strPath, const QByteArray& content)
    {
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    std::unique_ptr<MessageClient> launch(const QString& strCmdLine)
    {
        LaunchValues::reset();
        logkit::clearCapture();
        m_nProcessEnds = 0;
        return std::make_unique<MessageClient>(strCmdLine);
    }

private slots:
    void initTestCase()
    {
        logkit::startCapture();
        SetModuleProcessEnd([this] { ++m_nProcessEnds; });
    }

    void valuesSplitAtTheFirstColonOnlyAndTokensAreNeverLogged()
    {
        auto client =
            launch("Token:secret1;RefreshToken:secret2:ef;ServerUrl:https://127.0.0.1:8443/base;Appkey:app;"
                   "AccessToken:secret3;TrustAccessToken:secret4;AesKey:0123456789abcdef;PushedMsgId:42x;"
                   "DcLogUrl:https://log/a?x=1;CmDclogUrl:k=v&w=1");
        const LaunchValues v = LaunchValues::snapshot();
        QCOMPARE(QString::fromStdString(v.Token + "|" + v.RefreshToken + "|" + v.ServerUrl),
                 QString("secret1|secret2:ef|https://127.0.0.1:8443/base"));
        QCOMPARE(client->pushedMsgId(), 42);
        QCOMPARE(CHttpClient::instance()->m_strDcLogUrl + "|" + CHttpClient::instance()->m_strCmDclogUrl,
                 QString("https://log/a?x=1|k=v&w=1"));
        for (const auto& line : logkit::capturedLines()) {
            QVERIFY2(line.text.find("secret") == std::string::npos, line.text.c_str());
        }
    }

    void oddItems_data()
    {
        QTest::addColumn<QString>("launch");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("ends"); // no host, or a dead one: the module ends; no string, no check
        const auto row = [](const char* szName, const char* szLaunch, const char* szToken, int nEnds) {
            QTest::newRow(szName) << QString(szLaunch) << QString(szToken) << nEnds;
        };
        row("empty string", "", "", 0);
        row("no host", "Token:first;Token:", "first", 1);
        row("host not a number", "ParentWnd:abc;Token:;Token:second", "second", 1);
        row("names are exact", "token:l;TOKEN:u;NoColonItem;;;Unknown:x; Token:s", "", 1);
    }
    void oddItems()
    {
        QFETCH(QString, launch);
        QFETCH(QString, token);
        QFETCH(int, ends);
        auto client = this->launch(launch);
        QCOMPARE(QString::fromStdString(LaunchValues::snapshot().Token), token);
        QCOMPARE(m_nProcessEnds, ends);
        QVERIFY(!client->isEmbedded());
    }

    void emptyCfgPathFallsBackToTheDefaultFile()
    {
        // The default lies beside the module: <module dir>/../Lunet/default.
        const QString strFile =
            QString::fromStdString(native::GetModuleDir()) + "../Lunet/default/global_cfg.cfg";
        QFile::remove(strFile);
        QVERIFY(QDir().mkpath(strFile)); // a directory does not count
        launch("CfgPath:");
        QVERIFY(LaunchValues::snapshot().CfgPath.empty());
        QVERIFY(QDir(strFile).removeRecursively());
        WriteFile(strFile, "<Configure/>");
        launch("CfgPath:");
        QCOMPARE(QString::fromStdString(LaunchValues::snapshot().CfgPath), strFile);
        QFile::remove(strFile);
    }

    void configuration()
    {
        const QString strPath = m_dir.filePath("cfg.cfg");
        const auto read = [&](const QByteArray& content) {
            WriteFile(strPath, content);
            return QString::fromLocal8Bit(ReadCfgString(strPath.toStdString(), "snap_folder", "def").c_str());
        };
        const QByteArray baGood =
            "<?xml version=\"1.0\"?><!-- c --><Configure><a/><snap_folder>/s/快照</snap_folder>";
        QCOMPARE(read(baGood + "</Configure>"), QString("/s/快照"));
        // Another root, no key, malformed, mismatched, a grandchild, empty, binary.
        for (const QByteArray& content :
             {QByteArray("<Config><snap_folder>/s</snap_folder></Config>"), QByteArray("<Configure/>"),
              baGood, QByteArray("<Configure><snap_folder>/s</rec_folder></Configure>"),
              QByteArray("<Configure><a><snap_folder>/s</snap_folder></a></Configure>"), QByteArray(),
              QByteArray("\x00\xff\xfe<<", 5)})
            QCOMPARE(read(content), QString("def"));
        for (const QString& strMissing : {m_dir.filePath("none.cfg"), QString(), m_dir.path()})
            QCOMPARE(ReadCfgString(strMissing.toStdString(), "snap_folder", "def"), std::string("def"));
    }

    void dumpFolderAndEarlierCrashes()
    {
        QCOMPARE(MessageClient::DumpFolder(),
                 QDir(QString::fromLocal8Bit(logkit::logDirectory().c_str())).absoluteFilePath("dumps"));
        const QString strCfg = m_dir.filePath("global_cfg.cfg");
        WriteFile(strCfg,
                  "<Configure><dump_folder>" + m_dir.filePath("c").toUtf8() + "</dump_folder></Configure>");
        LaunchValues::update([&](LaunchValues& values) { values.CfgPath = strCfg.toStdString(); });
        QCOMPARE(MessageClient::DumpFolder(), m_dir.filePath("c"));
        qputenv("MESSAGECLIENT_DUMP_DIR", m_dir.filePath("e").toLocal8Bit());
        QCOMPARE(MessageClient::DumpFolder(), m_dir.filePath("e"));
        qunsetenv("MESSAGECLIENT_DUMP_DIR");

        // Earlier crashes: reported once each, and only with both usage-log addresses.
        QTemporaryDir dir;
        for (const char* szName : {"b.dmp", "A.DMP", "0.txt"})
            WriteFile(dir.filePath(szName), {});
        QVERIFY(QDir(dir.path()).mkdir("0.dmp")); // a folder is not a dump
        QCOMPARE(MessageClient::UnreportedDumps(dir.path()),
                 QStringList({dir.filePath("A.DMP"), dir.filePath("b.dmp")}));
        logkit::clearCapture();
        CHttpClient* pClient = CHttpClient::instance();
        pClient->m_strDcLogUrl = "https://127.0.0.1:1/dclog?type=";
        pClient->m_strCmDclogUrl.clear();
        MessageClient::ReportEarlierCrashes(dir.path());
        QCOMPARE(MessageClient::UnreportedDumps(dir.path()).size(), 2); // kept for a start that can send
        pClient->m_strCmDclogUrl = "app=pc&ver=1";
        for (int i = 0; i < 2; ++i)
            MessageClient::ReportEarlierCrashes(dir.path());
        QString strLog;
        for (const auto& line : logkit::capturedLines())
            strLog += QString::fromStdString(line.text) + '\n';
        QCOMPARE(strLog.count("&module=Message"), 2);
        QVERIFY(MessageClient::UnreportedDumps(dir.path()).isEmpty());
    }
};

QTEST_MAIN(TestShellUnit)
#include "tst_shellunit.moc"
