// What the host's show, hide and minimise do to the window, and the window's
// own title bar when it runs without a host frame.
#include "ModuleLaunch.h"

#include "base/LaunchValues.h"
#include "platform/PermissionTable.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowStates : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{QStringList{"--seed", "none"}};
    HostProcess m_host;
    QTemporaryDir m_dir;

    std::unique_ptr<MessageClient> startClient()
    {
        LaunchValues::reset();
        return std::make_unique<MessageClient>(
            ModuleLaunchString(m_host, m_sim, WriteModuleConfig(m_dir.path(), m_sim)));
    }

    int listRequests() { return m_sim.lastRequests("/api/msg/list", 100).size(); }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
        m_sim.addAlarm({{"count", 3}, {"push", false}});
    }

    void showWithAPushedMessageReloadsTheUnreadList()
    {
        auto client = startClient();
        QTRY_VERIFY_WITH_TIMEOUT(listRequests() >= 1, 10000);
        auto* pTabs = client->findChild<QTabWidget*>("resTab");
        pTabs->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(listRequests() >= 2, 10000);
        QTest::qWait(300);
        const int nBefore = listRequests();

        client->ChangeShowModule(0);
        client->ChangeShowModule(-3);
        QTest::qWait(300);
        QCOMPARE(listRequests(), nBefore);
        QCOMPARE(pTabs->currentIndex(), 0);

        QSignalSpy shown(client.get(), &MessageClient::ShowWndSignal);
        client->ChangeShowModule(5);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(pTabs->currentIndex(), 1);
        QCOMPARE(client->pushedMsgId(), 5);
        QTRY_VERIFY_WITH_TIMEOUT(listRequests() > nBefore, 10000);
        const QJsonArray lists = m_sim.lastRequests("/api/msg/list", 100);
        QVERIFY(lists.last().toObject().value("body").toString().contains("\"isRead\":0"));

        // An unread page still on its way predates the pushed alarm: the show
        // asks again instead of opening the alarm in the older answer.
        QVERIFY(m_sim.setFault("/api/msg/list", 0, 3000, false, 1));
        const int nSlow = listRequests();
        client->findChild<QPushButton*>("NotReadMsgFreshBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(listRequests(), nSlow + 1, 10000);
        client->ChangeShowModule(6);
        QTRY_COMPARE_WITH_TIMEOUT(listRequests(), nSlow + 2, 10000);
    }

    void hideWithoutRememberingEmptiesTheDetailSide()
    {
        auto client = startClient();
        auto* pRight = client->findChild<QStackedWidget*>("rghtStkWgt");
        pRight->setCurrentIndex(1);
        QSignalSpy hidden(client.get(), &MessageClient::HideWndSignal);
        client->ChangeHideModule(1);
        QCOMPARE(pRight->currentWidget()->objectName(), QString("detailPage"));
        client->ChangeHideModule(0);
        QCOMPARE(pRight->currentWidget()->objectName(), QString("orgPage"));
        QCOMPARE(hidden.size(), 2);
        QSignalSpy minimised(client.get(), &MessageClient::HideWndSignal);
        QSignalSpy restored(client.get(), &MessageClient::ShowWndSignal);
        client->SetModuleMiniFunc(true);
        client->SetModuleMiniFunc(false);
        QCOMPARE(minimised.size(), 1);
        QCOMPARE(restored.size(), 1);
    }

    void ownTitleBarDragsWithinTheScreen()
    {
        // Without a launch string there is no host: the window keeps its own frame.
        LaunchValues::reset();
        MessageClient client{QString()};
        client.show();
        QVERIFY(QTest::qWaitForWindowExposed(&client));
        QWidget* pTitle = client.findChild<QWidget*>("title_widget");
        QVERIFY(pTitle->isVisible());
        const QPoint ptPress = pTitle->geometry().center();
        QTest::mousePress(&client, Qt::LeftButton, Qt::NoModifier, ptPress);
        QMouseEvent move(QEvent::MouseMove, QPointF(ptPress), QPointF(ptPress + QPoint(50, 100000)),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&client, &move);
        QTest::mouseRelease(&client, Qt::LeftButton, Qt::NoModifier, ptPress);
        QCOMPARE(client.size(), QSize(1360, 768));
        const int nScreenHeight = QGuiApplication::primaryScreen()->geometry().height();
        QCOMPARE(client.pos().y(), std::max(0, nScreenHeight - 768));
        QVERIFY(client.pos().x() >= 0);
    }
};

QTEST_MAIN(TestWindowStates)
#include "tst_windowstates.moc"
