// The module's process inside the real demo host's window, on a display of the test's own:
// it lives in the host, follows its hide, minimise and move with its control bar, takes the
// screen on full screen and gets its place back; its signals reach the host once each.
#include "HostProcess.h"
#include "ModuleLaunch.h"
#include "SimulatorProcess.h"
#include "XSession.h"

#include <QJsonArray>
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
    quint32 m_moduleWindow = 0, m_holder = 0, m_hostWindow = 0;
    int m_alarmId = 0;

    QString waitLine(const QString& prefix, int from)
    {
        const int index = m_host.waitForLine(prefix, kWaitMs, from);
        return index < 0 ? QString() : m_host.lines().at(index);
    }

    // Sends a command and waits for the host's line that it is done.
    bool hostDoes(const QString& command, const QString& done)
    {
        const int from = m_host.lines().size();
        return m_host.command(command) && !waitLine(done, from).isEmpty();
    }
    bool ui(const QString& line) { return hostDoes("ui " + line, "UI OK " + line); }

    quint32 bar() const { return m_x.viewableWindows(m_modulePid, kBar).value(0); }

    QString authorizationOfLastList()
    {
        for (const QJsonValue& header : m_sim.lastRequests("/api/msg/list", 1).last()["headers"].toArray()) {
            if (header[0].toString().compare("Authorization", Qt::CaseInsensitive) == 0) {
                return header[1].toString();
            }
        }
        return QString();
    }

    // How the host writes bytes: printable ASCII as is, any other byte as \xNN.
    static QString escaped(const QByteArray& bytes)
    {
        QString text;
        for (const uchar c : bytes) {
            text += c >= 0x20 && c < 0x7f ? QString(QChar(c)) : QString("\\x%1").arg(c, 2, 16, QChar('0'));
        }
        return text;
    }

    // The lines since from that hold text, up to the answer of a command that comes back
    // over the link after all the module sent before it: a show with a pushed message is
    // told to the host. With listAnswered, also waits for the unread list it asks for.
    QStringList linesUntilBarrier(const QString& text, int from, bool listAnswered)
    {
        const int start = m_host.lines().size();
        const int shown = m_host.command(QString("show %1").arg(m_alarmId))
                              ? m_host.waitForLine("MSG 2052 ", kWaitMs, start)
                              : -1;
        if (shown < 0 || (listAnswered && m_host.waitForLine("MSG 2054 ", kWaitMs, shown) < 0)) {
            return {"no barrier"};
        }
        return m_host.lines().mid(from, shown - from).filter(text);
    }

private slots:
    void initTestCase()
    {
        if (!XSession::missingProgram().isEmpty()) {
            QSKIP(
                qPrintable(XSession::missingProgram() + " is not installed (scripts/setup.sh installs it)"));
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
        // The host puts its own handle in place of the first field.
        const QString launch = ModuleLaunchString(m_host, m_sim, cfg, true).section(';', 1);
        QVERIFY(m_host.start(true, {"--launch", launch, "--drive-module"}, HostProcess::Windowed));

        m_modulePid = waitLine("MODULE STARTED ", 0).split(' ').value(2).toLongLong();
        const QStringList embedded = waitLine("EMBEDDED ", 0).split(' ');
        m_moduleWindow = embedded.value(1).toUInt();
        m_holder = embedded.value(2).toUInt();
        m_hostWindow = embedded.value(3).toUInt();
        QVERIFY(m_modulePid > 0 && m_moduleWindow != 0 && m_holder != 0 && m_hostWindow != 0);

        // The pushed alarm opens, and its clip plays with the control bar over it.
        QVERIFY(m_host.command(QString("show %1").arg(m_alarmId)));
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
        for (quint32 window : m_x.viewableWindows(m_modulePid)) {
            QVERIFY2(window == controlBar || window == m_moduleWindow || m_x.isInside(window, m_moduleWindow),
                     qPrintable(QString::number(window, 16)));
        }
    }

    void clickingIntoTheModuleGivesItTheKeyboard()
    {
        m_x.setFocusWindow(m_hostWindow);
        QTRY_COMPARE_WITH_TIMEOUT(m_x.focusWindow(), m_hostWindow, kWaitMs);
        m_x.click(m_moduleWindow, QPoint(10, 10));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_x.focusWindow() == m_moduleWindow || m_x.isInside(m_x.focusWindow(), m_moduleWindow), kWaitMs);
    }

    void hidingAndMinimisingTheHostLeaveNothingOfTheModuleMapped()
    {
        QVERIFY(m_host.command("page overview"));
        QTRY_VERIFY_WITH_TIMEOUT(m_x.viewableWindows(m_modulePid).isEmpty(), kWaitMs);
        QVERIFY(m_host.command("page messages"));
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        QVERIFY(m_x.viewableWindows(m_modulePid).contains(m_moduleWindow));

        QVERIFY(hostDoes("hostmin", "HOST MINIMISED"));
        QTRY_VERIFY_WITH_TIMEOUT(m_x.viewableWindows(m_modulePid).isEmpty(), kWaitMs);
        QVERIFY(hostDoes("hostrestore", "HOST RESTORED"));
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        QVERIFY(m_x.viewableWindows(m_modulePid).contains(m_moduleWindow));
    }

    void movingTheHostMovesTheModuleAndItsBar()
    {
        QTRY_VERIFY_WITH_TIMEOUT(bar() != 0, kWaitMs);
        // Where the bar sits on the module, wherever the host is.
        const QPoint onModule = m_x.geometry(bar()).topLeft() - m_x.geometry(m_moduleWindow).topLeft();
        QPoint module[2];
        const QPoint host[2] = {QPoint(10, 10), QPoint(110, 50)};
        for (int i = 0; i < 2; ++i) {
            const QString move = QString("%1 %2").arg(host[i].x()).arg(host[i].y());
            QVERIFY(hostDoes("hostmove " + move, "HOST MOVED " + move));
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
        QCOMPARE(linesUntilBarrier("SIGNAL FULLSCREEN", from, true),
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
        QCOMPARE(linesUntilBarrier("SIGNAL TOKENS", from, true).size(), 1);
        QCOMPARE(authorizationOfLastList(), "Bearer " + token);

        // A login taken over elsewhere: the platform's text, once for the one refused request.
        const QString text = QStringLiteral("该账号已在另一台电脑登录");
        QVERIFY(m_sim.takeOverLogin(token, text));
        from = m_host.lines().size();
        QVERIFY(m_host.command("startpush"));
        QVERIFY(!waitLine("SIGNAL REMOTELOGIN ", from).isEmpty());
        QCOMPARE(linesUntilBarrier("SIGNAL REMOTELOGIN", from, false),
                 QStringList(QStringLiteral("SIGNAL REMOTELOGIN ") + escaped(text.toUtf8())));
    }
};

QTEST_MAIN(TestHostWindow)
#include "tst_hostwindow.moc"
