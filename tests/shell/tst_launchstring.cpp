// The launch string as the host writes it, and the odd strings it has been
// seen to write: what lands in the launch values and what is logged.
#include "base/LaunchNumber.h"
#include "base/LaunchValues.h"
#include "logkit/LogKit.h"
#include "native/ModulePath.h"
#include "platform/CHttpClient.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <climits>

namespace {

int countLines(const std::string& needle)
{
    int n = 0;
    for (const auto& line : logkit::capturedLines()) {
        if (line.text.find(needle) != std::string::npos) {
            ++n;
        }
    }
    return n;
}

bool anyParseLine()
{
    for (const auto& line : logkit::capturedLines()) {
        if (line.text.find("MessageClient::ParseCmdLine") != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

class TestLaunchString : public QObject
{
    Q_OBJECT
private:
    int m_nProcessEnds = 0;

    // Builds a window from the launch string, as the host does, with the
    // capture reset so each case sees only its own lines.
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

    void valuesSplitAtFirstColonOnly()
    {
        auto client = launch("Token:tok;RefreshToken:ref;ServerUrl:https://127.0.0.1:8443/base;Appkey:app;"
                             "AccessToken:acc;TrustAccessToken:trust;AesKey:0123456789abcdef;PushedMsgId:42;"
                             "DcLogUrl:https://log/a?x=1;CmDclogUrl:k=v&w=1");
        const LaunchValues v = LaunchValues::snapshot();
        QCOMPARE(v.Token, std::string("tok"));
        QCOMPARE(v.RefreshToken, std::string("ref"));
        QCOMPARE(v.ServerUrl, std::string("https://127.0.0.1:8443/base"));
        QCOMPARE(v.Appkey, std::string("app"));
        QCOMPARE(v.AccessToken, std::string("acc"));
        QCOMPARE(v.TrustAccessToken, std::string("trust"));
        QCOMPARE(v.AesKey, std::string("0123456789abcdef"));
        QCOMPARE(client->pushedMsgId(), 42);
        QCOMPARE(CHttpClient::instance()->m_strDcLogUrl, QString("https://log/a?x=1"));
        QCOMPARE(CHttpClient::instance()->m_strCmDclogUrl, QString("k=v&w=1"));
    }

    void emptyValueKeepsPreviousAndLogsOnce()
    {
        {
            auto client = launch("Token:;Token:second");
            QCOMPARE(LaunchValues::snapshot().Token, std::string("second"));
            QCOMPARE(countLines("Token:NULL"), 1);
        }
        {
            auto client = launch("Token:first;Token:");
            QCOMPARE(LaunchValues::snapshot().Token, std::string("first"));
            QCOMPARE(countLines("Token:NULL"), 1);
        }
        {
            // A refresh token without value has no line of its own.
            auto client = launch("RefreshToken:;ServerUrl:");
            QCOMPARE(countLines("RefreshToken"), 0);
            QCOMPARE(countLines("ServerUrl:NULL"), 1);
            QVERIFY(logkit::captured("---CmdLine", -1) == false);
        }
        {
            auto client = launch("TrustAccessToken:;DcLogUrl:;CmDclogUrl:");
            QVERIFY(logkit::captured("---CmdLine Trust AccessToken Is Empty", 5));
            QVERIFY(logkit::captured("---CmdLine DcLogUrl Is Empty", 5));
            QVERIFY(logkit::captured("---CmdLine CmDclogUrl Is Empty", 5));
        }
    }

    void unknownItemsAreIgnoredSilently()
    {
        auto client = launch("token:lower;TOKEN:upper;NoColonItem;;;Unknown:x; Token:spaced");
        const LaunchValues v = LaunchValues::snapshot();
        QVERIFY(v.Token.empty());
        // Only the host check's consequence may be logged, no item line.
        QCOMPARE(countLines("Token"), 0);
        QCOMPARE(countLines("NULL"), 0);
    }

    void emptyStringTouchesNothing()
    {
        auto client = launch(QString());
        QVERIFY(!anyParseLine());
        QCOMPARE(m_nProcessEnds, 0); // no host check, no close
        QVERIFY(LaunchValues::snapshot().Token.empty());
        QCOMPARE(client->parentWnd(), HWND(0));
        QCOMPARE(client->pushedMsgId(), -1);
    }

    void missingOrDeadHostClosesDuringConstruction()
    {
        {
            auto client = launch("Token:t");
            QCOMPARE(m_nProcessEnds, 1);
            QVERIFY(!client->isEmbedded());
        }
        {
            auto client = launch("ParentWnd:0;Token:t");
            QCOMPARE(m_nProcessEnds, 1);
            QVERIFY(logkit::captured("nHwnd:0", 3));
        }
    }

    void newWndFlagIsLoggedAsZeroOrOne()
    {
        {
            auto client = launch("NewWnd:7");
            QVERIFY(logkit::captured("nIsStNewWnd:1", 3));
        }
        {
            auto client = launch("NewWnd:x7");
            QVERIFY(logkit::captured("nIsStNewWnd:0", 3));
        }
        {
            auto client = launch("NewWnd:");
            QVERIFY(logkit::captured("NewWnd:NULL", 3));
        }
    }

    void numbersReadLikeAtoiWithoutOverflow()
    {
        QCOMPARE(LaunchNumber("7abc"), 7);
        QCOMPARE(LaunchNumber("abc"), 0);
        QCOMPARE(LaunchNumber("  -12"), -12);
        QCOMPARE(LaunchNumber("+5"), 5);
        QCOMPARE(LaunchNumber("99999999999999999999999"), INT_MAX);
        QCOMPARE(LaunchNumber("-99999999999999999999999"), INT_MIN);
        QCOMPARE(LaunchNumber(""), 0);
        auto client = launch("PushedMsgId:12x;ParentWnd:abc");
        QCOMPARE(client->pushedMsgId(), 12);
        QCOMPARE(client->parentWnd(), HWND(0));
    }

    void emptyCfgPathFallsBackToDefaultFile()
    {
        // The default lies beside the module: <module dir>/../Lunet/default.
        const QString strDir = QString::fromStdString(native::GetModuleDir()) + "../Lunet/default";
        QDir(strDir).removeRecursively();
        {
            auto client = launch("CfgPath:");
            QCOMPARE(countLines("CfgPath:NULL"), 1);
            QCOMPARE(countLines("strCfgDir:"), 1);
            QVERIFY(LaunchValues::snapshot().CfgPath.empty());
        }
        QVERIFY(QDir().mkpath(strDir));
        {
            auto client = launch("CfgPath:");
            QCOMPARE(countLines("strCfgFile:"), 1);
            QVERIFY(LaunchValues::snapshot().CfgPath.empty());
        }
        QVERIFY(QDir().mkpath(strDir + "/global_cfg.cfg/")); // a directory does not count
        {
            auto client = launch("CfgPath:");
            QCOMPARE(countLines("strCfgFile:"), 1);
        }
        QDir(strDir + "/global_cfg.cfg").removeRecursively();
        QFile file(strDir + "/global_cfg.cfg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<Configure/>");
        file.close();
        {
            auto client = launch("CfgPath:");
            QCOMPARE(countLines("strCfgFile:"), 0);
            QCOMPARE(QString::fromStdString(LaunchValues::snapshot().CfgPath), strDir + "/global_cfg.cfg");
        }
        QDir(QString::fromStdString(native::GetModuleDir()) + "../Lunet").removeRecursively();
    }

    void tokensNeverLoggedInClear()
    {
        auto client =
            launch("Token:secret-token-value;RefreshToken:secret-refresh;AccessToken:secret-access");
        for (const auto& line : logkit::capturedLines()) {
            QVERIFY2(line.text.find("secret-") == std::string::npos, line.text.c_str());
        }
    }
};

QTEST_MAIN(TestLaunchString)
#include "tst_launchstring.moc"
