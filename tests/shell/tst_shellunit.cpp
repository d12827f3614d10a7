// The launch string as the host writes it and the odd strings it has been
// seen to write; the operator's configuration file in any state; where crash
// dumps go and how they reach the usage log.
#include "base/CfgReader.h"
#include "base/LaunchNumber.h"
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

#include <climits>

namespace {

void WriteFile(const QString& strPath, const QByteArray& content)
{
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestShellUnit : public QObject
{
    Q_OBJECT
private:
    int m_nProcessEnds = 0;
    QTemporaryDir m_dir;

    std::unique_ptr<MessageClient> launch(const QString& strCmdLine)
    {
        LaunchValues::reset();
        CHttpClient::instance()->m_strDcLogUrl.clear();
        CHttpClient::instance()->m_strCmDclogUrl.clear();
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

    void valuesSplitAtTheFirstColonOnly()
    {
        auto client = launch("Token:tok;RefreshToken:r:ef;ServerUrl:https://127.0.0.1:8443/base;Appkey:app;"
                             "AccessToken:acc;TrustAccessToken:trust;AesKey:0123456789abcdef;PushedMsgId:42;"
                             "DcLogUrl:https://log/a?x=1;CmDclogUrl:k=v&w=1");
        const LaunchValues v = LaunchValues::snapshot();
        QCOMPARE(QString::fromStdString(v.Token + "|" + v.RefreshToken + "|" + v.ServerUrl + "|" + v.Appkey +
                                        "|" + v.AccessToken + "|" + v.TrustAccessToken + "|" + v.AesKey),
                 QString("tok|r:ef|https://127.0.0.1:8443/base|app|acc|trust|0123456789abcdef"));
        QCOMPARE(client->pushedMsgId(), 42);
        QCOMPARE(CHttpClient::instance()->m_strDcLogUrl, QString("https://log/a?x=1"));
        QCOMPARE(CHttpClient::instance()->m_strCmDclogUrl, QString("k=v&w=1"));
    }

    void oddItems_data()
    {
        QTest::addColumn<QString>("launch");
        QTest::addColumn<QString>("token");
        QTest::newRow("empty value keeps the earlier") << "Token:first;Token:"
                                                       << "first";
        QTest::newRow("empty value, then one") << "Token:;Token:second"
                                               << "second";
        QTest::newRow("names are exact") << "token:lower;TOKEN:upper;NoColonItem;;;Unknown:x; Token:spaced"
                                         << "";
    }
    void oddItems()
    {
        QFETCH(QString, launch);
        QFETCH(QString, token);
        auto client = this->launch(launch);
        QCOMPARE(QString::fromStdString(LaunchValues::snapshot().Token), token);
    }

    void emptyStringTouchesNothing()
    {
        auto client = launch(QString());
        QCOMPARE(m_nProcessEnds, 0); // no host check, no close
        QCOMPARE(client->parentWnd(), HWND(0));
        QCOMPARE(client->pushedMsgId(), -1);
    }

    void missingOrDeadHostClosesDuringConstruction()
    {
        for (const char* szLaunch : {"Token:t", "ParentWnd:0;Token:t"}) {
            auto client = launch(szLaunch);
            QCOMPARE(m_nProcessEnds, 1);
            QVERIFY(!client->isEmbedded());
        }
    }

    void numbersReadLikeAtoiWithoutOverflow()
    {
        const QList<QPair<const char*, int>> cases{{"7abc", 7},
                                                   {"abc", 0},
                                                   {"  -12", -12},
                                                   {"+5", 5},
                                                   {"", 0},
                                                   {"99999999999999999999999", INT_MAX},
                                                   {"-99999999999999999999999", INT_MIN}};
        for (const auto& item : cases) {
            QCOMPARE(LaunchNumber(item.first), item.second);
        }
        auto client = launch("PushedMsgId:12x;ParentWnd:abc");
        QCOMPARE(client->pushedMsgId(), 12);
        QCOMPARE(client->parentWnd(), HWND(0));
    }

    void emptyCfgPathFallsBackToTheDefaultFile()
    {
        // The default lies beside the module: <module dir>/../Lunet/default.
        const QString strLunet = QString::fromStdString(native::GetModuleDir()) + "../Lunet";
        const QString strFile = strLunet + "/default/global_cfg.cfg";
        QDir(strLunet).removeRecursively();
        QVERIFY(QDir().mkpath(strFile)); // a directory does not count
        launch("CfgPath:");
        QVERIFY(LaunchValues::snapshot().CfgPath.empty());
        QVERIFY(QDir(strFile).removeRecursively());
        WriteFile(strFile, "<Configure/>");
        launch("CfgPath:");
        QCOMPARE(QString::fromStdString(LaunchValues::snapshot().CfgPath), strFile);
        QDir(strLunet).removeRecursively();
    }

    void tokensNeverLoggedInClear()
    {
        auto client =
            launch("Token:secret-token-value;RefreshToken:secret-refresh;AccessToken:secret-access");
        for (const auto& line : logkit::capturedLines()) {
            QVERIFY2(line.text.find("secret-") == std::string::npos, line.text.c_str());
        }
    }

    void configuration_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("value");
        QTest::newRow("child of Configure")
            << QByteArray("<?xml version=\"1.0\"?>\n<!-- c -->\n<Configure><rec_folder>/r</rec_folder>"
                          "<snap_folder>/s/快照</snap_folder></Configure>")
            << "/s/快照";
        QTest::newRow("other root") << QByteArray("<Config><snap_folder>/s</snap_folder></Config>") << "def";
        QTest::newRow("missing key") << QByteArray("<Configure><rec_folder>/r</rec_folder></Configure>")
                                     << "def";
        QTest::newRow("malformed") << QByteArray("<Configure><snap_folder>/s</snap_folder>") << "def";
        QTest::newRow("mismatched") << QByteArray("<Configure><snap_folder>/s</rec_folder></Configure>")
                                    << "def";
        QTest::newRow("grandchild") << QByteArray(
                                           "<Configure><a><snap_folder>/s</snap_folder></a></Configure>")
                                    << "def";
        QTest::newRow("empty file") << QByteArray() << "def";
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe<<", 5) << "def";
    }
    void configuration()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, value);
        const QString strPath = m_dir.filePath("cfg.cfg");
        WriteFile(strPath, content);
        QCOMPARE(ReadCfgString(strPath.toStdString(), "snap_folder", "def"),
                 value.toLocal8Bit().toStdString());
        for (const QString& strMissing : {m_dir.filePath("none.cfg"), QString(), m_dir.path()}) {
            QCOMPARE(ReadCfgString(strMissing.toStdString(), "snap_folder", "def"), std::string("def"));
        }
    }

    void dumpFolder()
    {
        qunsetenv("MESSAGECLIENT_DUMP_DIR");
        LaunchValues::reset();
        const QString strDefault = MessageClient::DumpFolder();
        QCOMPARE(strDefault,
                 QDir(QString::fromLocal8Bit(logkit::logDirectory().c_str())).absoluteFilePath("dumps"));
        const QString strCfg = m_dir.filePath("global_cfg.cfg");
        WriteFile(strCfg, QString("<Configure><dump_folder>%1</dump_folder></Configure>")
                              .arg(m_dir.filePath("cfg-dumps"))
                              .toUtf8());
        LaunchValues::update([&](LaunchValues& values) { values.CfgPath = strCfg.toStdString(); });
        QCOMPARE(MessageClient::DumpFolder(), m_dir.filePath("cfg-dumps"));
        qputenv("MESSAGECLIENT_DUMP_DIR", m_dir.filePath("env-dumps").toLocal8Bit());
        QCOMPARE(MessageClient::DumpFolder(), m_dir.filePath("env-dumps"));
        qunsetenv("MESSAGECLIENT_DUMP_DIR");
        LaunchValues::reset();
    }

    void earlierCrashesReportedOnceWithBothAddresses()
    {
        QTemporaryDir dir;
        for (const char* szName : {"b.dmp", "A.DMP", "0.txt"}) {
            WriteFile(dir.filePath(szName), {});
        }
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
        MessageClient::ReportEarlierCrashes(dir.path());
        MessageClient::ReportEarlierCrashes(dir.path());
        int nEvents = 0;
        for (const auto& line : logkit::capturedLines()) {
            nEvents +=
                line.text.find("Buried Type:saas_pcclient_dmpinfo content:app=pc&ver=1&module=Message") !=
                std::string::npos;
        }
        QCOMPARE(nEvents, 2);
        QVERIFY(MessageClient::UnreportedDumps(dir.path()).isEmpty());
    }
};

QTEST_MAIN(TestShellUnit)
#include "tst_shellunit.moc"
