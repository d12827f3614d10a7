// The window against the simulator and the demo host: the host's show and close, the filter panel and
// the camera directory; the window without a host. (Pushed alarms: tst_faultmatrix; hiding: tst_operator.)
#include "ModuleFixture.h"

#include "platform/PopupListWgt.h"
#include "shell/ProcessEnd.h"

#include <QDate>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QtTest>

constexpr int kWaitMs = 15000;
const QString kCameras = QStringLiteral("/api/resource/v2/camera/list/page");
const QString kList = QStringLiteral("/api/msg/list");

class TestWindow : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    int m_nProcessEnds = 0;

    MessageClient* client() const { return m_fx.client(); }
    int count(const QString& strPath) { return m_fx.requests(strPath).size(); }
    void typeIntoDeviceField(const QString& strText)
    {
        auto* pInput = m_fx.child<QLineEdit>("alarmDevInput");
        pInput->setFocus();
        pInput->setText(strText);
        emit pInput->textEdited(strText);
    }
    bool cameraSearchWas(const QString& strName)
    {
        return QJsonDocument::fromJson(m_fx.lastBody(kCameras).toUtf8())["channelName"] == strName;
    }
    std::unique_ptr<MessageClient> window(const QString& strLaunch)
    {
        m_nProcessEnds = 0;
        SetModuleProcessEnd([this] { ++m_nProcessEnds; });
        LaunchValues::reset();
        return std::make_unique<MessageClient>(strLaunch);
    }
    // The window messages the host received, in arrival order.
    static QString messages(const HostProcess& host, int nCount)
    {
        return host.lines().filter(QRegularExpression("^(MSG|COPYDATA) ")).mid(0, nCount).join('|');
    }

private slots:
    void initTestCase() { QVERIFY2(m_fx.start({{{"count", 3}, {"push", false}}}), qPrintable(m_fx.error())); }

    void showWithAPushedMessageReloadsTheUnreadList()
    {
        QVERIFY2(m_fx.open(3), qPrintable(m_fx.error()));
        auto* pTabs = m_fx.child<QTabWidget>("resTab");
        pTabs->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.allList()->ShownRows().size() == 3 && !m_fx.allList()->IsBusy(),
                                 kWaitMs);
        const int nBefore = count(kList);
        client()->ChangeShowModule(0);
        client()->ChangeShowModule(-3);
        QCOMPARE(pTabs->currentIndex(), 0);

        const int nHostFrom = m_fx.host.lines().size();
        client()->ChangeShowModule(5);
        QCOMPARE(pTabs->currentIndex(), 1);
        // The unread answer is shown (the host hears its total): only this show asked.
        QVERIFY(m_fx.host.waitForLine("MSG 2054 ", kWaitMs, nHostFrom) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_fx.unreadList()->IsBusy(), kWaitMs);
        QCOMPARE(count(kList), nBefore + 1);
        QVERIFY(m_fx.lastBody(kList).contains("\"isRead\":0"));

        // An unread page still on its way predates the pushed alarm: the show
        // asks again instead of opening the alarm in the older answer.
        QVERIFY(m_fx.sim.setFault(kList, 0, 3000, false, 1));
        const int nSlow = count(kList);
        m_fx.child<QPushButton>("NotReadMsgFreshBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(count(kList), nSlow + 1, kWaitMs);
        client()->ChangeShowModule(6);
        QTRY_COMPARE_WITH_TIMEOUT(count(kList), nSlow + 2, kWaitMs);
    }

    void firstKeyAsksForTheOrganisationThenTheCamerasAndTheChoiceIsSearched()
    {
        client()->show();
        m_fx.child<QPushButton>("filterBtn")->click();
        typeIntoDeviceField("研");
        QTRY_COMPARE_WITH_TIMEOUT(count("/api/org/tree"), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(count(kCameras), 1, kWaitMs);
        QVERIFY(cameraSearchWas("研"));

        typeIntoDeviceField("研发楼");
        QTRY_COMPARE_WITH_TIMEOUT(count(kCameras), 2, kWaitMs);
        auto* pPopup = m_fx.child<PopupListWgt>("popLstWgt");
        QTRY_VERIFY_WITH_TIMEOUT(pPopup->isVisible() && pPopup->ItemCount() == 3, kWaitMs);
        QCOMPARE(count("/api/org/tree"), 1); // learnt once

        // Keys walk the popup and stop at its ends; Return (while the field has the focus) takes it.
        pPopup->MoveSelection(-1);
        QCOMPARE(pPopup->CurrentText(), QString("研发楼一层走廊"));
        for (int i = 0; i < 3; ++i)
            pPopup->MoveSelection(1);
        auto* pInput = m_fx.child<QLineEdit>("alarmDevInput");
        QApplication::setActiveWindow(client());
        pInput->setFocus();
        QTRY_VERIFY(QApplication::focusWidget() == pInput);
        QTest::keyClick(client(), Qt::Key_Return);
        QCOMPARE(pInput->text(), QString("研发楼二层走廊"));
        QVERIFY(!pPopup->isVisible());

        // Emptying the field hides the popup without asking: the next search is the next request.
        const int nSearches = count(kCameras);
        for (const char* szText : {"", "东门"})
            typeIntoDeviceField(szText);
        QTRY_COMPARE_WITH_TIMEOUT(count(kCameras), nSearches + 1, kWaitMs);
        QVERIFY(cameraSearchWas("东门"));

        // The camera chosen reaches the search, with today's times and neither state.
        typeIntoDeviceField("研发楼");
        QTRY_VERIFY_WITH_TIMEOUT(pPopup->isVisible() && pPopup->ItemCount() == 3, kWaitMs);
        emit pPopup->chgSelItem("研发楼机房");
        m_fx.child<QPushButton>("filterOkBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.lastBody(kList).contains("\"deviceSerial\":\"PV2000100\""), kWaitMs);
        const QString strBody = m_fx.lastBody(kList);
        QVERIFY(strBody.contains("\"channelNo\":2") && !strBody.contains("isRead") &&
                !strBody.contains("isEncrypt"));
        QVERIFY(strBody.contains(QDate::currentDate().toString("\"yyyy-MM-dd 00:00:00\"")));
    }

    void timesAreCheckedAndReset()
    {
        m_fx.child<QTabWidget>("leftTabWidget")->setCurrentIndex(1);
        auto* pFrom = m_fx.child<QLabel>("fromTimeLab");
        auto* pTo = m_fx.child<QLabel>("reachTimeLab");
        pFrom->setText(pTo->text());
        const int nLists = count(kList);
        m_fx.child<QPushButton>("filterOkBtn")->click();
        QCOMPARE(m_fx.child<QLabel>("timeSetWarningLab")->text(), QString("开始时间必须小于结束时间"));

        // A date after today from the calendar is ignored.
        m_fx.child<QPushButton>("fromCalBtn")->click();
        for (const int nDays : {1, -1}) {
            const QString strDay = QDate::currentDate().addDays(nDays).toString("yyyy-MM-dd 08:00:00");
            client()->slotCalendarSet(strDay);
            QCOMPARE(pFrom->text() == strDay, nDays < 0);
        }

        m_fx.child<QPushButton>("filterResetBtn")->click();
        QCOMPARE(pFrom->text() + "|" + pTo->text(),
                 QDate::currentDate().toString("yyyy-MM-dd 00:00:00|yyyy-MM-dd 23:59:59"));
        // The refused search asked nothing: the next one is the next request.
        m_fx.child<QPushButton>("filterOkBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(count(kList) > nLists, kWaitMs);
        QCOMPARE(count(kList), nLists + 1);
        m_fx.close();
    }

    void closingHandsTheLatestTokensBackThenCloses()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        auto client = window(QString("ParentWnd:%1;Token:old;RefreshToken:oldr").arg(host.handle()));
        // A host without a window holds nothing: the module keeps its own frame.
        QVERIFY(!client->isEmbedded());
        client->slot_UpdateToken("new", "");
        client->slot_UpdateToken("new", "ne:wr");
        client->close();
        QCOMPARE(m_nProcessEnds, 1);
        QTRY_COMPARE(
            messages(host, -1).section(" sent", 0, 0),
            QString("COPYDATA dwData=12 w=0 data=new|COPYDATA dwData=12 w=1 data=ne:wr|MSG 2044 w=3 l=0"));
    }

    void deadHostClosesDuringConstruction()
    {
        const qint64 nDead = [] {
            HostProcess gone;
            return gone.start(false) ? gone.handle() : 0;
        }();
        auto client = window(QString("ParentWnd:%1;Token:t").arg(nDead));
        QCOMPARE(m_nProcessEnds, 1);
        QVERIFY(nDead != 0 && !client->isVisible());
    }

    void moduleProcessClosedByItsHost()
    {
        HostProcess host;
        QVERIFY(host.start(true, {"--launch", "Token:pt;RefreshToken:pr"}));
        QVERIFY(host.waitForLine("CONNECTED", kWaitMs) >= 0);
        QVERIFY(host.send("close"));
        const int nExit = host.waitForLine("MODULE EXITED", kWaitMs);
        QCOMPARE(host.lines().value(nExit).trimmed(), QString("MODULE EXITED 0"));
        QCOMPARE(messages(host, 3).section(" w=3", 0, 0),
                 QString("COPYDATA dwData=12 w=0 data=pt|COPYDATA dwData=12 w=1 data=pr|MSG 2044"));
    }

    void ownTitleBarDragsWithinTheScreen()
    {
        // Without a launch string there is no host: the window keeps its own title bar.
        auto client = window(QString());
        client->show();
        QVERIFY(QTest::qWaitForWindowExposed(client.get()));
        const QPoint ptPress = client->findChild<QWidget*>("title_widget")->geometry().center();
        QTest::mousePress(client.get(), Qt::LeftButton, Qt::NoModifier, ptPress);
        QMouseEvent move(QEvent::MouseMove, QPointF(ptPress), QPointF(ptPress + QPoint(50, 100000)),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(client.get(), &move);
        QTest::mouseRelease(client.get(), Qt::LeftButton, Qt::NoModifier, ptPress);
        const int nScreenHeight = QGuiApplication::primaryScreen()->geometry().height();
        QVERIFY(client->pos().x() >= 0 && client->pos().y() == std::max(0, nScreenHeight - client->height()));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
