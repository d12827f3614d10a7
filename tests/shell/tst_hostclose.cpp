// The module and a real host process: a dead host makes the window close
// while it is built; closing with a live host hands both tokens back and
// then announces the close, in that order and nothing else.
#include "HostProcess.h"

#include "base/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QtTest>

class TestHostClose : public QObject
{
    Q_OBJECT
private:
    int m_nProcessEnds = 0;

    // The lines that carry window messages, in arrival order.
    static QStringList messageLines(const HostProcess& host)
    {
        QStringList result;
        for (const QString& line : host.lines()) {
            if (line.startsWith("MSG ") || line.startsWith("COPYDATA ")) {
                result << line;
            }
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([this] { ++m_nProcessEnds; });
    }

    void init()
    {
        LaunchValues::reset();
        m_nProcessEnds = 0;
    }

    void liveHostGetsTokensThenClose()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        MessageClient client(QString("ParentWnd:%1;Token:tok-1;RefreshToken:ref:2").arg(host.handle()));
        // A host without a window holds nothing: the module keeps its own frame
        // and reports to the host all the same.
        QVERIFY(!client.isEmbedded());
        QCOMPARE(m_nProcessEnds, 0);

        client.close();
        QCOMPARE(m_nProcessEnds, 1);
        QVERIFY(host.waitForLine("MSG 2044") >= 0);
        const QStringList lines = messageLines(host);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QString("COPYDATA dwData=12 w=0 data=tok-1"));
        QCOMPARE(lines[1], QString("COPYDATA dwData=12 w=1 data=ref:2"));
        QVERIFY2(lines[2].startsWith("MSG 2044 w=3 l=0 sent"), qPrintable(lines[2]));
    }

    void tokensRenewedByTheHostAreTheOnesHandedBack()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        MessageClient client(QString("ParentWnd:%1;Token:old;RefreshToken:oldr").arg(host.handle()));
        client.slot_UpdateToken("new", "");
        client.slot_UpdateToken("new", "newr");
        client.close();
        QVERIFY(host.waitForLine("MSG 2044") >= 0);
        const QStringList lines = messageLines(host);
        QCOMPARE(lines.value(0), QString("COPYDATA dwData=12 w=0 data=new"));
        QCOMPARE(lines.value(1), QString("COPYDATA dwData=12 w=1 data=newr"));
    }

    void deadHostClosesDuringConstruction()
    {
        qint64 nDeadHandle = 0;
        {
            HostProcess gone;
            QVERIFY(gone.start(false));
            nDeadHandle = gone.handle();
        }
        MessageClient client(QString("ParentWnd:%1;Token:t").arg(nDeadHandle));
        QCOMPARE(m_nProcessEnds, 1);
        QVERIFY(!client.isEmbedded());
        QVERIFY(!client.isVisible());
    }

    void moduleProcessClosedByItsHost()
    {
        // The real process, started by the host, closed by the host's command.
        HostProcess host;
        QVERIFY(host.start(true, {"--launch", "Token:pt;RefreshToken:pr"}));
        QVERIFY(host.waitForLine("CONNECTED", 15000) >= 0);
        QVERIFY(host.send("close"));
        QVERIFY(host.waitForLine("MSG 2044", 15000) >= 0);
        const QStringList lines = messageLines(host);
        QCOMPARE(lines.value(0), QString("COPYDATA dwData=12 w=0 data=pt"));
        QCOMPARE(lines.value(1), QString("COPYDATA dwData=12 w=1 data=pr"));
        const int nExit = host.waitForLine("MODULE EXITED", 15000);
        QVERIFY(nExit >= 0);
        QCOMPARE(host.lines().at(nExit).trimmed(), QString("MODULE EXITED 0"));
    }
};

QTEST_MAIN(TestHostClose)
#include "tst_hostclose.moc"
