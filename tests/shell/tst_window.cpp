// The window against the simulator and the demo host: the host's show, hide
// and close, pushed alarms, the filter panel and the camera directory; and
// the window without a host.
#include "ModuleFixture.h"

#include "platform/PopupListWgt.h"
#include "shell/ProcessEnd.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QtTest>

namespace {
constexpr int kWaitMs = 15000;
const QString kCameras = QStringLiteral("/api/resource/v2/camera/list/page");
const QString kList = QStringLiteral("/api/msg/list");
} // namespace

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
    // Sends a search of today and waits until it has reached the simulator.
    void searchToday()
    {
        const int nFrom = count(kList);
        m_fx.child<QTabWidget>("leftTabWidget")->setCurrentIndex(1);
        m_fx.child<QPushButton>("filterResetBtn")->click();
        m_fx.child<QPushButton>("filterOkBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(count(kList) > nFrom, kWaitMs);
    }
    // The lines that carry window messages, in arrival order.
    static QStringList messageLines(const HostProcess& host)
    {
        return host.lines().filter(QRegularExpression(QStringLiteral("^(MSG|COPYDATA) ")));
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

        int nHostFrom = m_fx.host.lines().size();
        client()->ChangeShowModule(5);
        QCOMPARE(pTabs->currentIndex(), 1);
        QCOMPARE(client()->pushedMsgId(), 5);
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

    void hideWithoutRememberingEmptiesTheDetailSide()
    {
        auto* pRight = m_fx.child<QStackedWidget>("rghtStkWgt");
        pRight->setCurrentIndex(1);
        client()->ChangeHideModule(1);
        QCOMPARE(pRight->currentWidget()->objectName(), QString("detailPage"));
        client()->ChangeHideModule(0);
        QCOMPARE(pRight->currentWidget()->objectName(), QString("orgPage"));
    }

    void alarmNoticesReachTheHost()
    {
        QVERIFY(QMetaObject::invokeMethod(client(), "StartTcpConnect"));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_fx.sim.admin("GET", "/admin/push/clients").value("clients").toArray().size(), 1, kWaitMs);
        const int nFrom = m_fx.host.lines().size();
        const QJsonArray ids = m_fx.sim.addAlarm({{"alarmType", "移动侦测告警"}});
        const int nLine = m_fx.host.waitForLine("MSG 8591", kWaitMs, nFrom);
        QVERIFY(nLine >= 0);
        QVERIFY(m_fx.host.lines().at(nLine).contains(QString("\"msgId\":%1").arg(ids.at(0).toInt())));
    }

    void firstKeyAsksForTheOrganisationThenTheCameras()
    {
        client()->show();
        m_fx.child<QPushButton>("filterBtn")->click();
        QCOMPARE(m_fx.child<QTabWidget>("leftTabWidget")->currentIndex(), 1);
        typeIntoDeviceField("研");
        QTRY_COMPARE_WITH_TIMEOUT(count("/api/org/tree"), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(count(kCameras), 1, kWaitMs);
        const QJsonObject search = QJsonDocument::fromJson(m_fx.lastBody(kCameras).toUtf8()).object();
        QCOMPARE(search.value("channelName").toString(), QString("研"));

        typeIntoDeviceField("研发楼");
        QTRY_COMPARE_WITH_TIMEOUT(count(kCameras), 2, kWaitMs);
        auto* pPopup = m_fx.child<PopupListWgt>("popLstWgt");
        QTRY_VERIFY_WITH_TIMEOUT(pPopup->isVisible() && pPopup->ItemCount() == 3, kWaitMs);
        QCOMPARE(count("/api/org/tree"), 1); // learnt once

        // Keys walk the popup and stop at its ends; Return takes the entry.
        pPopup->MoveSelection(-1);
        QCOMPARE(pPopup->CurrentText(), QString("研发楼一层走廊"));
        for (int i = 0; i < 3; ++i) {
            pPopup->MoveSelection(1);
        }
        QCOMPARE(pPopup->CurrentText(), QString("研发楼二层走廊"));
        // The keys count only while the device field has the focus.
        QApplication::setActiveWindow(client());
        m_fx.child<QLineEdit>("alarmDevInput")->setFocus();
        QTRY_VERIFY(m_fx.child<QLineEdit>("alarmDevInput")->hasFocus());
        QTest::keyClick(client(), Qt::Key_Return);
        QCOMPARE(m_fx.child<QLineEdit>("alarmDevInput")->text(), QString("研发楼二层走廊"));
        QVERIFY(!pPopup->isVisible());

        // Emptying the field hides the popup without asking: the next search is the next request.
        const int nSearches = count(kCameras);
        typeIntoDeviceField("");
        typeIntoDeviceField("东门");
        QTRY_COMPARE_WITH_TIMEOUT(count(kCameras), nSearches + 1, kWaitMs);
        QCOMPARE(QJsonDocument::fromJson(m_fx.lastBody(kCameras).toUtf8())
                     .object()
                     .value("channelName")
                     .toString(),
                 QString("东门"));
    }

    void searchSendsTheChosenCriteria()
    {
        typeIntoDeviceField("研发楼");
        auto* pPopup = m_fx.child<PopupListWgt>("popLstWgt");
        QTRY_VERIFY_WITH_TIMEOUT(pPopup->isVisible() && pPopup->ItemCount() == 3, kWaitMs);
        emit pPopup->chgSelItem("研发楼机房");
        m_fx.child<QPushButton>("filterOkBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.lastBody(kList).contains("\"deviceSerial\":\"PV2000100\""), kWaitMs);
        const QString strBody = m_fx.lastBody(kList);
        QVERIFY(strBody.contains("\"channelNo\":2"));
        QVERIFY(!strBody.contains("isRead") && !strBody.contains("isEncrypt"));
        QVERIFY(strBody.contains("\"startTime\":\"" + QDate::currentDate().toString("yyyy-MM-dd") +
                                 " 00:00:00\""));
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
        const QString strTomorrow = QDate::currentDate().addDays(1).toString("yyyy-MM-dd") + " 08:00:00";
        client()->slotCalendarSet(strTomorrow);
        QVERIFY(pFrom->text() != strTomorrow);
        const QString strYesterday = QDate::currentDate().addDays(-1).toString("yyyy-MM-dd") + " 08:00:00";
        client()->slotCalendarSet(strYesterday);
        QCOMPARE(pFrom->text(), strYesterday);

        m_fx.child<QPushButton>("filterResetBtn")->click();
        const QString strToday = QDate::currentDate().toString("yyyy-MM-dd");
        QCOMPARE(pFrom->text(), strToday + " 00:00:00");
        QCOMPARE(pTo->text(), strToday + " 23:59:59");
        QCOMPARE(m_fx.child<QComboBox>("msgStatusCombox")->currentIndex(), 2);
        QCOMPARE(m_fx.child<QComboBox>("isEncryptCombox")->currentIndex(), 2);
        QVERIFY(m_fx.child<QLineEdit>("alarmDevInput")->text().isEmpty());
        // The refused search asked nothing: the next one is the next request.
        searchToday();
        QCOMPARE(count(kList), nLists + 1);
        m_fx.close();
    }

    void closingHandsTheLatestTokensBackThenCloses()
    {
        SetModuleProcessEnd([this] { ++m_nProcessEnds; });
        HostProcess host;
        QVERIFY(host.start(false));
        m_nProcessEnds = 0;
        LaunchValues::reset();
        MessageClient client(QString("ParentWnd:%1;Token:old;RefreshToken:oldr").arg(host.handle()));
        // A host without a window holds nothing: the module keeps its own frame.
        QVERIFY(!client.isEmbedded());
        client.slot_UpdateToken("new", "");
        client.slot_UpdateToken("new", "ne:wr");
        client.close();
        QCOMPARE(m_nProcessEnds, 1);
        QVERIFY(host.waitForLine("MSG 2044") >= 0);
        const QStringList lines = messageLines(host);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QString("COPYDATA dwData=12 w=0 data=new"));
        QCOMPARE(lines[1], QString("COPYDATA dwData=12 w=1 data=ne:wr"));
        QVERIFY2(lines[2].startsWith("MSG 2044 w=3 l=0 sent"), qPrintable(lines[2]));
    }

    void deadHostClosesDuringConstruction()
    {
        qint64 nDeadHandle = 0;
        {
            HostProcess gone;
            QVERIFY(gone.start(false));
            nDeadHandle = gone.handle();
        }
        m_nProcessEnds = 0;
        LaunchValues::reset();
        MessageClient client(QString("ParentWnd:%1;Token:t").arg(nDeadHandle));
        QCOMPARE(m_nProcessEnds, 1);
        QVERIFY(!client.isVisible());
    }

    void moduleProcessClosedByItsHost()
    {
        HostProcess host;
        QVERIFY(host.start(true, {"--launch", "Token:pt;RefreshToken:pr"}));
        QVERIFY(host.waitForLine("CONNECTED", kWaitMs) >= 0);
        QVERIFY(host.send("close"));
        QVERIFY(host.waitForLine("MSG 2044", kWaitMs) >= 0);
        QCOMPARE(messageLines(host).mid(0, 2),
                 QStringList({"COPYDATA dwData=12 w=0 data=pt", "COPYDATA dwData=12 w=1 data=pr"}));
        const int nExit = host.waitForLine("MODULE EXITED", kWaitMs);
        QVERIFY(nExit >= 0);
        QCOMPARE(host.lines().at(nExit).trimmed(), QString("MODULE EXITED 0"));
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
        const QRect rcScreen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(client.pos().y(), std::max(0, rcScreen.height() - client.height()));
        QVERIFY(client.pos().x() >= 0);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
