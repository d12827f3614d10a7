// Faults around a running module process, against the real simulator and demo host. Each row: the
// module lives (without a host: ends by itself with 0), answers a ping within a second, logs the
// fault, keeps every token and code out of every log, and its next good answer is right. Rows share
// one module process and run in order. MC_MODULE_BIN_DIR runs another build's module.
#include "ModuleLaunch.h"

#include "native/CHostFrame.h"

#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr int kSlow = 3; // instrumented processes
#else
constexpr int kSlow = 1;
#endif
constexpr int kPingMs = 1000 * kSlow;
constexpr int kAnswerMs = 15000 * kSlow; // a platform answer through the module, delays included
constexpr int kListTimeoutMs = 10000;    // the module's list request time-out
// A fault's line is on disk as it happens: well before a list times out.
constexpr int kLogMs = qMin(5000 * kSlow, kListTimeoutMs - 2000);

const char* const kListPath = "/api/msg/list";
const char* const kRefreshPath = "/api/user/app/refresh/token";

// Fails the test with the reason a check gives, if it gives one.
#define VERIFY_FINE(expr)                                                                                    \
    do {                                                                                                     \
        const QString strWhy = (expr);                                                                       \
        QVERIFY2(strWhy.isEmpty(), qPrintable(strWhy));                                                      \
    } while (false)

enum Fault
{
    PlatformDownAtStart,
    PlatformKilled,
    SlowerThanTimeout,
    TokenExpired,
    Storm401,
    Body,
    PushClosed,
    PushOversized,
    PushSplit,
    Frame,
    HostKilled
};

QByteArray pingFrame(qint32 nValue)
{
    HostCommand ping;
    ping.eKind = HostCommand::Ping;
    ping.nValue = nValue;
    return CHostFrame::makeCommand(quint32(nValue), ping).encode();
}

// A ping frame (30 bytes: length, magic, version, type, sequence, kind, value, two empty blobs)
// with a big-endian field replaced.
QByteArray patchedPing(int nOffset, quint32 nValue, int nBytes)
{
    QByteArray baFrame = pingFrame(1);
    uchar* p = reinterpret_cast<uchar*>(baFrame.data()) + nOffset;
    nBytes == 2 ? qToBigEndian(quint16(nValue), p) : qToBigEndian(nValue, p);
    return baFrame;
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{QStringList{"--seed", "none"}};
    HostProcess m_host;
    QProcess m_module;
    QByteArray m_baModuleOutput;
    QTemporaryDir m_dir;
    QString m_strLogDir;
    QString m_strCfg;
    int m_nShowId = 0; // a read message: showing it reloads the unread list and opens nothing
    int m_nUnread = 0;
    QStringList m_secrets;
    QString m_strToken; // the latest pair the host was told of, for a module started anew
    QString m_strRefreshToken;
    int m_nFrame = 1000; // the values of the pings behind bad frames

    QString moduleLog() const
    {
        QFile file(QDir(m_strLogDir).filePath("MessageClient.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }
    bool moduleRuns() const { return m_module.state() != QProcess::NotRunning; }
    bool moduleEndsWell()
    {
        return (!moduleRuns() || m_module.waitForFinished(kAnswerMs)) &&
               m_module.exitStatus() == QProcess::NormalExit && m_module.exitCode() == 0;
    }
    bool startModule()
    {
        if (!m_host.isRunning() && !m_host.start(false))
            return false;
        const QString strDir = qEnvironmentVariable("MC_MODULE_BIN_DIR", qEnvironmentVariable("MC_BIN_DIR"));
        const int nFrom = m_host.lines().size();
        const QString strLaunch = ModuleLaunchString(m_host, m_sim, m_strCfg, true)
                                      .replace(m_sim.token(), m_strToken)
                                      .replace(m_sim.refreshToken(), m_strRefreshToken);
        m_module.start(QDir(strDir).filePath("messageclient"), {strLaunch});
        const int nLinked = m_host.waitForLine("CONNECTED", kAnswerMs, nFrom);
        // Settled once its first unread request is answered, so that a fault set next meets the row's own.
        return nLinked >= 0 &&
               (!m_sim.isRunning() || m_host.waitForLine("MSG 2054 ", kAnswerMs, nLinked) >= 0);
    }
    int pushClients()
    {
        int nStarted = 0;
        for (const QJsonValue& client : m_sim.admin("GET", "/admin/push/clients").value("clients").toArray())
            nStarted += client.toObject().value("starts").toInt() > 0 ? 1 : 0;
        return nStarted;
    }
    bool pushConnected()
    {
        if (pushClients() == 0)
            m_host.send("startpush");
        return QTest::qWaitFor([this] { return pushClients() == 1; }, kAnswerMs);
    }
    void show() { m_host.send(QString("show %1").arg(m_nShowId)); }
    // The next list answer is this body, so late, padded to so many bytes.
    void listReply(const QByteArray& baBody, int nDelayMs, int nPadTo)
    {
        m_sim.admin("POST", "/admin/faults",
                    {{"path", kListPath},
                     {"status", 200},
                     {"body", QString(baBody)},
                     {"count", 1},
                     {"delayMs", nDelayMs},
                     {"padTo", nPadTo}});
    }
    bool pong(int nValue, int nFrom)
    {
        return m_host.waitForLine(QString("SIGNAL PONG %1").arg(nValue), kPingMs, nFrom) >= 0;
    }

    // The first host line from nFrom on with this prefix, once it comes; empty if none does.
    QString awaitLine(const QString& strPrefix, int nFrom)
    {
        const int nLine = m_host.waitForLine(strPrefix, kAnswerMs, nFrom);
        return m_host.lines().value(nLine);
    }

    // Each of these returns what went wrong, empty if nothing did.
    QString noPing()
    {
        static int s_nPing = 0;
        const int nFrom = m_host.lines().size();
        m_host.send(QString("ping %1").arg(++s_nPing));
        return pong(s_nPing, nFrom) ? QString() : QString("no answer to a ping within %1 ms").arg(kPingMs);
    }
    // The unread total the module tells the host after a show.
    QString unreadNotShown()
    {
        const int nFrom = m_host.lines().size();
        show();
        // What comes before the show's own message answers something older.
        const int nShown = m_host.waitForLine("MSG 2052 ", kAnswerMs, nFrom);
        const QString strSeen = awaitLine("MSG 2054 ", qMax(nShown, nFrom));
        const QString strWanted = QString("MSG 2054 w=3 l=%1 posted").arg(m_nUnread);
        return nShown >= 0 && strSeen == strWanted
                   ? QString()
                   : QString("after a show, wanted \"%1\", host saw \"%2\"").arg(strWanted, strSeen);
    }
    // The first alarm notice from nFrom on is this alarm's, whole.
    QString alarmNotForwarded(int nId, int nFrom)
    {
        const QString strLine = awaitLine("MSG 8591 ", nFrom);
        return strLine.contains(QRegularExpression(QString("\"msgId\":%1[,}]").arg(nId))) &&
                       strLine.endsWith('}')
                   ? QString()
                   : QString("alarm %1 not forwarded whole: \"%2\"").arg(nId).arg(strLine.left(200));
    }
    // Renewed tokens are secrets too; the latest pair is what a module started anew gets.
    QString latestToken()
    {
        for (const QString& line : m_host.lines().filter(QRegularExpression("^SIGNAL TOKENS "))) {
            m_strToken = line.section(' ', 2, 2);
            m_strRefreshToken = line.section(' ', 3, 3);
            m_secrets << m_strToken << m_strRefreshToken;
        }
        m_secrets.removeDuplicates();
        return m_strToken;
    }
    // A secret in clear in the module's file or output, the simulator's log or the host's events
    // (bar the token hand-over, which is the host's own).
    QString leaks()
    {
        latestToken();
        m_baModuleOutput += m_module.readAll();
        const QString logs[] = {
            moduleLog(), QString::fromLocal8Bit(m_baModuleOutput), QString::fromUtf8(m_sim.log()),
            m_host.lines().filter(QRegularExpression("^(?!COPYDATA |SIGNAL TOKENS )")).join('\n')};
        const char* const szNames[] = {"module log", "module output", "simulator log", "host events"};
        for (int i = 0; i < 4; ++i) {
            for (const QString& strSecret : qAsConst(m_secrets)) {
                if (logs[i].contains(strSecret))
                    return QString("%1 holds %2... in clear").arg(szNames[i], strSecret.left(2));
            }
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        m_strLogDir =
            QDir(qEnvironmentVariable("MESSAGECLIENT_LOG_DIR", QDir::tempPath())).filePath("faultmatrix");
        QDir(m_strLogDir).removeRecursively();
        m_sim.keepLog();
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        // Encrypted pictures are fetched and opened with the cameras' codes.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto& item : {qMakePair(QString("MESSAGECLIENT_LOG_DIR"), m_strLogDir),
                                 qMakePair(QString("PAVRIX_CLOUD_URL"), m_sim.cloudUrl()),
                                 qMakePair(QString("PAVRIX_CA_FILE"), m_sim.caFile())})
            environment.insert(item.first, item.second);
        m_module.setProcessEnvironment(environment);
        m_module.setProcessChannelMode(QProcess::MergedChannels);

        m_sim.addAlarm({{"count", 3}, {"push", false}, {"deviceSerial", "PV1000002"}});
        m_nUnread = 3;
        m_nShowId = m_sim.addAlarm({{"push", false}, {"isRead", true}}).at(0).toInt();
        m_strCfg = WriteModuleConfig(
            m_dir.path(), m_sim,
            QString("<push_info_url>%1/api/message/push/server/info</push_info_url>").arg(m_sim.baseUrl()));
        m_strToken = m_sim.token();
        m_strRefreshToken = m_sim.refreshToken();
        m_secrets = QStringList{m_sim.token(), m_sim.refreshToken(), m_sim.accessToken(),
                                m_sim.trustAccessToken(), m_sim.aesKey()};
        for (const QJsonValue& camera : m_sim.cameras())
            m_secrets << camera["code"].toString() << camera["platformCode"].toString();
        m_secrets.removeAll(QString());
    }

    void cleanupTestCase()
    {
        if (moduleRuns()) {
            QVERIFY(m_host.command("close"));
            QVERIFY2(moduleEndsWell(), "module did not close cleanly");
        }
        VERIFY_FINE(leaks());
    }

    void fault_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("logged");

        const auto row = [](const char* szName, Fault eFault, const QByteArray& ba, const char* szLogged) {
            QTest::newRow(szName) << int(eFault) << ba << QString(szLogged);
        };
        row("platform down at start", PlatformDownAtStart, {}, "http service error");
        row("platform killed and back", PlatformKilled, {}, "push server closed");
        row("401 storm, the refresh address too", Storm401, "<html>401 Authorization Required</html>",
            "refresh refused with 401");
        // Its 12 s keep the storm's refresh guard (10 s) out of the next row's way.
        row("replies slower than the list time-out", SlowerThanTimeout,
            "{\"code\":\"200\",\"data\":[],\"page\":{\"pageNo\":1,\"size\":30,\"total\":999}}",
            "GetNotReadMsg request timed out");
        row("token expired", TokenExpired, {}, "RefreshToken()");

        const char* const szRefused = "GetNotReadMsg reply refused";
        row("body: garbage", Body, "<html><body>502 Bad Gateway</body></html>", szRefused);
        row("body: wrong types", Body,
            "{\"code\":\"200\",\"data\":\"none\",\"page\":{\"pageNo\":\"1\",\"size\":[],\"total\":{}}}",
            szRefused);
        row("body: nested 100000 deep", Body, "{\"data\":" + QByteArray(100000, '['), szRefused);
        row("body: 20 MB", Body, {}, "bytes, aborted");

        row("push: server closes", PushClosed, {}, "push server closed");
        row("push: message of 2 MiB", PushOversized,
            "AIMSG,{\"msgId\":1,\"pad\":\"" + QByteArray(2 << 20, 'x') + "\"}", "dropped");
        row("push: message in two reads", PushSplit, {}, "AIMSG:{\"msgId\"");

        row("frame: bad magic", Frame, patchedPing(4, 0x58585858, 4), "bad magic");
        row("frame: version 2", Frame, patchedPing(8, 2, 2), "unsupported version 2");
        row("frame: unknown type", Frame, patchedPing(10, 99, 2), "unknown frame type 99");
        row("frame: unknown command", Frame, patchedPing(16, 0xffff, 2), "unknown command");
        row("frame: payload cut short", Frame, patchedPing(0, 22, 4).left(26), "payload truncated");
        row("frame: blob beyond the frame", Frame, patchedPing(22, 1000, 4), "truncated");
        row("frame: bytes left over", Frame, patchedPing(0, 30, 4) + QByteArray(4, '\0'),
            "unexpected trailing bytes");
        row("frame: meant for the host", Frame, CHostFrame::makeSend(1, 2054, 3, 1).encode(),
            "not for the module");
        row("frame: answer nobody waits for", Frame, CHostFrame::makeAck(4242, 1).encode(),
            "late or unknown");
        row("frame: length below its header", Frame, patchedPing(0, 3, 4), "impossible frame length 3");
        row("frame: length beyond 16 MiB", Frame, patchedPing(0, (16u << 20) + 1, 4),
            "impossible frame length 16777217");
        row("host killed", HostKilled, {}, "host link lost");
    }

    void fault()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, input);
        QFETCH(QString, logged);
        if (fault == PlatformDownAtStart && moduleRuns()) {
            QVERIFY(m_host.command("close"));
            QVERIFY2(moduleEndsWell(), "module did not close cleanly");
        }
        if (!m_sim.isRunning())
            QVERIFY2(m_sim.restart(), qPrintable(m_sim.errorString()));
        m_sim.clearFaults();
        if (fault != PlatformDownAtStart && !moduleRuns()) {
            // A module that died in an earlier row gets a fresh host as well, and the tokens its host
            // holds by now.
            latestToken();
            m_host.stop();
            QVERIFY2(startModule(), "module never linked to its host");
        }
        if (fault == PlatformKilled || fault == PushClosed || fault == PushOversized || fault == PushSplit)
            QVERIFY2(pushConnected(), "no push connection");
        const int nLogFrom = moduleLog().size();
        const int nHostFrom = m_host.lines().size();
        int nAlarm = 0;
        int nPong = 0;

        switch (Fault(fault)) {
        case PlatformDownAtStart:
            m_sim.kill();
            QVERIFY2(startModule(), "module never linked to its host");
            break;
        case PlatformKilled:
            m_sim.kill();
            show(); // a request that meets the outage
            break;
        case SlowerThanTimeout:
            // Late and wrong: shown, it would tell the host of 999 unread messages.
            listReply(input, kListTimeoutMs + 2000, 0);
            show();
            break;
        case TokenExpired:
            QVERIFY(m_sim.expireToken(latestToken()));
            show();
            QVERIFY2(m_host.waitForLine("SIGNAL TOKENS ", kAnswerMs, nHostFrom) >= 0, "no renewed tokens");
            break;
        case Storm401:
            m_sim.admin("POST", "/admin/faults",
                        {{"path", "/api/*"}, {"status", 401}, {"body", QString(input)}});
            m_sim.admin("POST", "/admin/requests/clear");
            show();
            m_host.send("startpush");
            break;
        case Body:
            listReply(input, 0, input.isEmpty() ? 20 * 1000 * 1000 : 0);
            show();
            break;
        case PushClosed:
            QCOMPARE(m_sim.admin("POST", "/admin/push/close").value("closed").toInt(), 1);
            break;
        case PushOversized:
            QCOMPARE(
                m_sim.admin("POST", "/admin/push/send", {{"text", QString(input)}}).value("sent").toInt(), 1);
            break;
        case PushSplit:
            nAlarm = m_sim.addAlarm({{"push", false}}).at(0).toInt();
            ++m_nUnread;
            QCOMPARE(
                m_sim
                    .admin("POST", "/admin/push/send",
                           {{"text", QString("AIMSG,{\"msgId\":%1,\"alarmType\":\"split\"}").arg(nAlarm)},
                            {"splitAt", 20},
                            {"pauseMs", 300}})
                    .value("sent")
                    .toInt(),
                1);
            break;
        case Frame:
            // A good frame right behind a bad one, in the same write, must be read; behind an
            // impossible length nothing can be.
            nPong = logged.startsWith("impossible") ? 0 : ++m_nFrame;
            QVERIFY(
                m_host.command("raw " + (input + (nPong != 0 ? pingFrame(nPong) : QByteArray())).toHex()));
            break;
        case HostKilled:
            m_host.kill();
            break;
        }

        // The fault has reached the module once it logs it, as it happens (or once the module has
        // ended); the worst of what follows is reported first.
        const auto logs = [&] { return moduleLog().mid(nLogFrom).contains(logged); };
        const bool bLogged =
            QTest::qWaitFor([&] { return !moduleRuns() || logs(); },
                            fault == SlowerThanTimeout ? kListTimeoutMs + kAnswerMs : kLogMs) &&
            logs();
        const QByteArray baNotLogged = "no log line with \"" + logged.toUtf8() + "\"";
        if (fault == HostKilled) {
            QVERIFY2(moduleEndsWell(), "module did not end by itself with 0 without its host");
            QVERIFY2(bLogged, baNotLogged.constData());
            VERIFY_FINE(leaks());
            return;
        }
        QVERIFY2(moduleRuns(), "module process ended");
        QVERIFY2(nPong == 0 || pong(nPong, nHostFrom), "the good frame behind the bad one was lost");
        VERIFY_FINE(noPing());

        // The platform mended; nothing lost.
        if (fault == PlatformDownAtStart || fault == PlatformKilled)
            QVERIFY2(m_sim.restart(), qPrintable(m_sim.errorString()));
        // The next answer is slow too, so that the late one would land while it is awaited.
        if (fault == SlowerThanTimeout)
            m_sim.setFault(kListPath, 0, 3000, false, 1);
        if (fault == Storm401) {
            // However many 401s, one refresh went out: the guard holds.
            QCOMPARE(m_sim.lastRequests(kRefreshPath).size(), 1);
            m_sim.clearFaults();
        }
        VERIFY_FINE(unreadNotShown());
        if (fault == PushSplit)
            VERIFY_FINE(alarmNotForwarded(nAlarm, nHostFrom));
        if (fault == PlatformKilled || fault == PushClosed || fault == PushOversized) {
            // The channel comes back by itself and carries the next alarm, whole and first.
            QVERIFY2(QTest::qWaitFor([this] { return pushClients() == 1; }, kAnswerMs),
                     "push channel not back");
            const int nFrom = fault == PushOversized ? nHostFrom : m_host.lines().size();
            nAlarm = m_sim.addAlarm().at(0).toInt();
            ++m_nUnread;
            VERIFY_FINE(alarmNotForwarded(nAlarm, nFrom));
            VERIFY_FINE(unreadNotShown());
        }
        QVERIFY2(bLogged, baNotLogged.constData());
        VERIFY_FINE(leaks());
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
