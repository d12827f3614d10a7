// The host starts the push channel by name; every alarm the push server
// announces reaches the host as its own copy of the notice.
#include "ModuleLaunch.h"

#include "base/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

class TestPushForward : public QObject
{
    Q_OBJECT
private slots:
    void alarmNoticesReachTheHost()
    {
        SetModuleProcessEnd([] {});
        SimulatorProcess sim{QStringList{"--seed", "none"}};
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        HostProcess host;
        QVERIFY(host.start(false));
        QTemporaryDir dir;
        const QString strCfg = WriteModuleConfig(
            dir.path(), sim,
            QString("<push_info_url>%1/api/message/push/server/info</push_info_url>").arg(sim.baseUrl()));
        LaunchValues::reset();
        MessageClient client(ModuleLaunchString(host, sim, strCfg));

        QVERIFY(QMetaObject::invokeMethod(&client, "StartTcpConnect"));
        QTRY_COMPARE_WITH_TIMEOUT(sim.admin("GET", "/admin/push/clients").value("clients").toArray().size(),
                                  1, 15000);
        const int nFrom = host.lines().size();
        const QJsonArray ids = sim.addAlarm({{"alarmType", "移动侦测告警"}});
        QCOMPARE(ids.size(), 1);
        const int nLine = host.waitForLine("MSG 8591", 10000, nFrom);
        QVERIFY(nLine >= 0);
        const QString strLine = host.lines().at(nLine);
        QVERIFY2(strLine.contains(QString("\"msgId\":%1").arg(ids.at(0).toInt())), qPrintable(strLine));
    }
};

QTEST_MAIN(TestPushForward)
#include "tst_pushforward.moc"
