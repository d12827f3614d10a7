// The module's process inside the real demo host's window, on a display of the
// test's own: the window lives in the host, follows the host's hide, minimise
// and move with its control bar, takes the whole screen on full screen and gets
// its place back, and the window's signals reach the host once each.
#include "HostProcess.h"
#include "ModuleLaunch.h"
#include "SimulatorProcess.h"
#include "XSession.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int kWaitMs = 20000;
const QString kBar = QStringLiteral("CusSliderFrame"); // the control bar's window
} // namespace

class TestHostWindow : public QObject
{
    Q_OBJECT
private:
    XSession m_x;
    SimulatorProcess m_sim{QStringList{"--seed", "none"}};
    HostProcess m_host;
    QTemporaryDir m_dir;
    qint64 m_modulePid = 0;
    quint32 m_moduleWindow = 0;
    quint32 m_holder = 0;
    quint32 m_hostWindow = 0;
    int m_alarmId = 0;

    // The first line at or after from that starts with prefix; fails the test when none comes.
    QString waitLine(const QString& prefix, int from)
    {
        const int index = m_host.waitForLine(prefix, kWaitMs, from);
        return index < 0 ? QString() : m_host.lines().at(index);
    }

    // Lines starting with prefix between from and the first line starting with until.
    QStringList linesBefore(const QString& prefix, int from, const QString& until) const
    {
        QStringList result;
        const QStringList lines = m_host.lines();
        for (int i = from; i < lines.size() && !lines.at(i).startsWith(until); ++i) {
            if (lines.at(i).startsWith(prefix)) {
                result << lines.at(i);
            }
        }
        return result;
    }

    bool ui(const QString& line)
    {
        const int from = m_host.lines().size();
        return m_host.command(QStringLiteral("ui ") + line) &&
               waitLine(QStringLiteral("UI OK ") + line, from).startsWith(QStringLiteral("UI OK"));
    }

    quint32 bar() const { return m_x.viewableWindowNamed(m_modulePid, kBar); }

    QString authorizationOfLastList()
    {
        const QJsonArray requests = m_sim.lastRequests("/api/msg/list", 1);
        for (const QJsonValue& header : requests.last().toObject().value("headers").toArray()) {
            if (header.toArray().at(0).toString().compare("Authorization", Qt::CaseInsensitive) == 0) {
                return header.toArray().at(1).toString();
            }
        }
        return QString();
    }

    // How the host writes bytes: printable ASCII as is, any other byte as \xNN.
    static QString escaped(const QByteArray& bytes)
    {
        QString text;
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            text += byte >= 0x20 && byte < 0x7f ? QString(QLatin1Char(c))
                                                : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
        return text;
    }

    // A command whose answer comes back over the link after everything the
    // module sent before it: a show with a pushed message is told to the host.
    // With listAnswered, also waits for the unread list it asks for.
    bool barrier(bool listAnswered)
    {
        const int from = m_host.lines().size();
        if (!m_host.command(QStringLiteral("show %1").arg(m_alarmId))) {
            return false;
        }
        const int shown = m_host.waitForLine(QStringLiteral("MSG 2052 "), kWaitMs, from);
        return shown >= 0 &&
               (!listAnswered || m_host.waitForLine(QStringLiteral("MSG 2054 "), kWaitMs, shown) >= 0);
    }

private slots:
    void initTestCase()
    {
        const QString missing = XSession::missingProgram();
        if (!missing.isEmpty()) {
            QSKIP(qPrintable(missing + QStringLiteral(" is not installed (scripts/setup.sh installs it)")));
        }
        QString error;
        QVERIFY2(m_x.start(&error), qPrintable(error));
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        m_alarmId = m_sim.addAlarm({{"deviceSerial", "PV1000001"}, {"channelNo", 1}, {"push", false}})
                        .first()
                        .toInt();

        QProcessEnvironment environment = m_x.environment();
        environment.insert("PAVRIX_CLOUD_URL", m_sim.cloudUrl());
        environment.insert("PAVRIX_CA_FILE", m_sim.caFile());
        m_host.setEnvironment(environment);
        const QString cfg = WriteModuleConfig(
            m_dir.path(), m_sim,
            QString("<push_info_url>%1/api/message/push/server/info</push_info_url>").arg(m_sim.baseUrl()));
        // The host adds its own handle to the launch string.
        const QString launch =
            QString("Token:%1;RefreshToken:%2;ServerUrl:%3;CfgPath:%4;AesKey:%5;Appkey:%6;"
                    "AccessToken:%7;TrustAccessToken:%8")
                .arg(m_sim.token(), m_sim.refreshToken(), m_sim.baseUrl(), cfg, m_sim.aesKey(),
                     m_sim.appKey(), m_sim.accessToken(), m_sim.trustAccessToken());
        QVERIFY(m_host.start(true, {"--launch", launch, "--drive-module"}, HostProcess::Windowed));

        const QStringList started = waitLine("MODULE STARTED ", 0).split(' ');
        m_modulePid = started.value(2).toLongLong();
        const QStringList embedded = waitLine("EMBEDDED ", 0).split(' ');
        m_moduleWindow = embedded.value(1).toUInt();
        m_holder = embedded.value(2).toUInt();
        m_hostWindow = embedded.value(3).toUInt();
        QVERIFY(m_modulePid > 0 && m_moduleWindow != 0 && m_holder != 0 && m_hostWindow != 0);

        // The pushed alarm opens, and its clip plays with the control bar over it.
        QVERIFY(m_host.command(QStringLiteral("show %1").arg(m_alarmId)));
        QTRY_VERIFY_WITH_TIMEOUT(ui("visible plyBut") && m_host.lines().last().endsWith(" 1"), kWaitMs);
        QVERIFY(ui("click plyBut"));
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
    }

    void moduleWindowLivesInTheHost()
    {
        QTRY_COMPARE_WITH_TIMEOUT(m_x.geometry(m_moduleWindow), m_x.geometry(m_holder), kWaitMs);
        QVERIFY(m_x.isInside(m_moduleWindow, m_holder));
        // Nothing of the module stands on the desktop by itself but its control bar.
        const quint32 controlBar = bar();
        for (quint32 window : m_x.viewableWindowsOf(m_modulePid)) {
            QVERIFY2(window == controlBar || window == m_moduleWindow || m_x.isInside(window, m_moduleWindow),
                     qPrintable(QString::number(window, 16)));
        }
    }

    void clickingIntoTheModuleGivesItTheKeyboard()
    {
        auto moduleHasIt = [this]() {
            const quint32 focus = m_x.focusWindow();
            return focus == m_moduleWindow || m_x.isInside(focus, m_moduleWindow);
        };
        m_x.setFocusWindow(m_hostWindow);
        QTRY_COMPARE_WITH_TIMEOUT(m_x.focusWindow(), m_hostWindow, kWaitMs);
        m_x.click(m_moduleWindow, QPoint(10, 10));
        QTRY_VERIFY_WITH_TIMEOUT(moduleHasIt(), kWaitMs);
    }

    void hidingAndMinimisingTheHostLeaveNothingOfTheModuleMapped()
    {
        QVERIFY(m_host.command("page overview"));
        QTRY_VERIFY_WITH_TIMEOUT(m_x.viewableWindowsOf(m_modulePid).isEmpty(), kWaitMs);
        QVERIFY(m_host.command("page messages"));
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        QVERIFY(m_x.viewableWindowsOf(m_modulePid).contains(m_moduleWindow));

        int from = m_host.lines().size();
        QVERIFY(m_host.command("hostmin"));
        QVERIFY(!waitLine("HOST MINIMISED", from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(m_x.viewableWindowsOf(m_modulePid).isEmpty(), kWaitMs);
        from = m_host.lines().size();
        QVERIFY(m_host.command("hostrestore"));
        QVERIFY(!waitLine("HOST RESTORED", from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        QVERIFY(m_x.viewableWindowsOf(m_modulePid).contains(m_moduleWindow));
    }

    void movingTheHostMovesTheModuleAndItsBar()
    {
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        // Where the bar sits on the module, wherever the host is.
        const QPoint onModule = m_x.geometry(bar()).topLeft() - m_x.geometry(m_moduleWindow).topLeft();
        QPoint module[2];
        const QPoint host[2] = {QPoint(10, 10), QPoint(110, 50)};
        for (int i = 0; i < 2; ++i) {
            const QString move = QStringLiteral("%1 %2").arg(host[i].x()).arg(host[i].y());
            const int from = m_host.lines().size();
            QVERIFY(m_host.command(QStringLiteral("hostmove ") + move));
            QVERIFY(!waitLine(QStringLiteral("HOST MOVED ") + move, from).isEmpty());
            QTRY_COMPARE_WITH_TIMEOUT(m_x.geometry(bar()).topLeft() - m_x.geometry(m_moduleWindow).topLeft(),
                                      onModule, kWaitMs);
            module[i] = m_x.geometry(m_moduleWindow).topLeft();
        }
        QCOMPARE(module[1] - module[0], host[1] - host[0]);
    }

    void fullScreenCoversTheScreenAndLeavingRestoresThePlace()
    {
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        const QRect before = m_x.geometry(m_moduleWindow);
        const QRect screen(QPoint(0, 0), m_x.screenSize());
        const int from = m_host.lines().size();
        QVERIFY(ui("click fullScrBox"));
        QVERIFY(!waitLine("SIGNAL FULLSCREEN 1 3", from).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m_x.geometry(m_moduleWindow), screen, kWaitMs);
        // The control bar lies across the bottom of the screen, over the video.
        QTRY_COMPARE_WITH_TIMEOUT(m_x.geometry(bar()).bottom(), screen.bottom(), kWaitMs);
        QVERIFY(m_x.geometry(bar()).width() >= screen.width() - 4);

        QVERIFY(ui("key MessageClientClass Esc"));
        QVERIFY(!waitLine("SIGNAL FULLSCREEN 0 3", from).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m_x.geometry(m_moduleWindow), before, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(before.contains(m_x.geometry(bar())), kWaitMs);
        QVERIFY(barrier(true));
        QCOMPARE(linesBefore("SIGNAL FULLSCREEN", from, "MSG 2052 "),
                 QStringList({"SIGNAL FULLSCREEN 1 3", "SIGNAL FULLSCREEN 0 3"}));
    }

    void renewedTokensAndARemoteLoginReachTheHostOnce()
    {
        // An expired token is refreshed once; the host hears the new pair, and
        // the module goes on with it.
        QVERIFY(m_sim.expireToken(m_sim.token()));
        int from = m_host.lines().size();
        QVERIFY(m_host.command("startpush"));
        const QStringList tokens = waitLine("SIGNAL TOKENS ", from).split(' ');
        QCOMPARE(tokens.size(), 4);
        const QString token = tokens.at(2);
        QVERIFY(token != m_sim.token() && !tokens.at(3).isEmpty() && tokens.at(3) != m_sim.refreshToken());
        QVERIFY(barrier(true));
        QCOMPARE(linesBefore("SIGNAL TOKENS", from, "MSG 2052 ").size(), 1);
        QCOMPARE(authorizationOfLastList(), "Bearer " + token);

        // A login taken over elsewhere: the platform's text, once for the one refused request.
        const QString text = QStringLiteral("该账号已在另一台电脑登录");
        QVERIFY(m_sim.takeOverLogin(token, text));
        from = m_host.lines().size();
        QVERIFY(m_host.command("startpush"));
        QVERIFY(!waitLine("SIGNAL REMOTELOGIN ", from).isEmpty());
        QVERIFY(barrier(false));
        QCOMPARE(linesBefore("SIGNAL REMOTELOGIN", from, "MSG 2052 "),
                 QStringList(QStringLiteral("SIGNAL REMOTELOGIN ") + escaped(text.toUtf8())));
    }
};

QTEST_MAIN(TestHostWindow)
#include "tst_hostwindow.moc"
