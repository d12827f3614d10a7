// The filter panel and the camera directory behind its device field, against
// the platform simulator: what is asked, what is offered, what is searched.
#include "ModuleLaunch.h"

#include "base/LaunchValues.h"
#include "platform/PopupListWgt.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestFilterPanel : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{QStringList{"--seed", "none"}};
    HostProcess m_host;
    QTemporaryDir m_dir;
    std::unique_ptr<MessageClient> m_client;

    template <typename T>
    T* child(const char* szName) const
    {
        return m_client->findChild<T*>(szName);
    }
    QJsonArray requests(const QString& strPath) { return m_sim.lastRequests(strPath, 100); }
    QString lastBody(const QString& strPath)
    {
        return requests(strPath).last().toObject().value("body").toString();
    }

    void typeIntoDeviceField(const QString& strText)
    {
        auto* pInput = child<QLineEdit>("alarmDevInput");
        pInput->setFocus();
        pInput->setText(strText);
        emit pInput->textEdited(strText);
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
        m_sim.addAlarm({{"count", 2}, {"push", false}});
        LaunchValues::reset();
        m_client = std::make_unique<MessageClient>(
            ModuleLaunchString(m_host, m_sim, WriteModuleConfig(m_dir.path(), m_sim)));
        m_client->show();
        child<QPushButton>("filterBtn")->click();
        QCOMPARE(child<QTabWidget>("leftTabWidget")->currentIndex(), 1);
    }

    void cleanupTestCase() { m_client.reset(); }

    void firstKeyAsksForTheOrganisationThenTheCameras()
    {
        typeIntoDeviceField("研");
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/org/tree").size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/resource/v2/camera/list/page").size(), 1, 10000);
        const QJsonObject search =
            QJsonDocument::fromJson(lastBody("/api/resource/v2/camera/list/page").toUtf8()).object();
        QCOMPARE(search.value("channelName").toString(), QString("研"));
        QCOMPARE(search.value("pageSize").toInt(), 30);

        typeIntoDeviceField("研发楼");
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/resource/v2/camera/list/page").size(), 2, 10000);
        auto* pPopup = child<PopupListWgt>("popLstWgt");
        QTRY_VERIFY_WITH_TIMEOUT(pPopup->isVisible() && pPopup->ItemCount() == 3, 10000);
        QCOMPARE(requests("/api/org/tree").size(), 1); // learnt once
        QCOMPARE(pPopup->height(), 62);

        // Keys walk the popup and stop at its ends; Return takes the entry.
        pPopup->MoveSelection(-1);
        QCOMPARE(pPopup->CurrentText(), QString("研发楼一层走廊"));
        pPopup->MoveSelection(1);
        pPopup->MoveSelection(1);
        pPopup->MoveSelection(1);
        QCOMPARE(pPopup->CurrentText(), QString("研发楼二层走廊"));
        // The keys count only while the device field has the focus.
        QApplication::setActiveWindow(m_client.get());
        child<QLineEdit>("alarmDevInput")->setFocus();
        QTRY_VERIFY(child<QLineEdit>("alarmDevInput")->hasFocus());
        QTest::keyClick(m_client.get(), Qt::Key_Return);
        QCOMPARE(child<QLineEdit>("alarmDevInput")->text(), QString("研发楼二层走廊"));
        QVERIFY(!pPopup->isVisible());

        // Emptying the field hides the popup without asking.
        const int nSearches = requests("/api/resource/v2/camera/list/page").size();
        typeIntoDeviceField("");
        QTest::qWait(200);
        QCOMPARE(requests("/api/resource/v2/camera/list/page").size(), nSearches);
    }

    void searchSendsTheChosenCriteria()
    {
        typeIntoDeviceField("研发楼");
        auto* pPopup = child<PopupListWgt>("popLstWgt");
        QTRY_VERIFY_WITH_TIMEOUT(pPopup->isVisible() && pPopup->ItemCount() == 3, 10000);
        emit pPopup->chgSelItem("研发楼机房");
        child<QPushButton>("filterOkBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(lastBody("/api/msg/list").contains("\"deviceSerial\":\"PV2000100\""), 10000);
        const QString strBody = lastBody("/api/msg/list");
        QVERIFY(strBody.contains("\"channelNo\":2"));
        QVERIFY(!strBody.contains("isRead"));
        QVERIFY(!strBody.contains("isEncrypt"));
        QVERIFY(strBody.contains("\"startTime\":\"" + QDate::currentDate().toString("yyyy-MM-dd") +
                                 " 00:00:00\""));

        // A name never offered matches nothing.
        child<QTabWidget>("leftTabWidget")->setCurrentIndex(1);
        child<QLineEdit>("alarmDevInput")->setText("没有这个设备");
        child<QComboBox>("msgStatusCombox")->setCurrentIndex(0);
        child<QPushButton>("filterOkBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(child<QTabWidget>("leftTabWidget")->currentIndex(), 4, 10000);
        // The page switches as the request leaves; the simulator may see it later.
        QTRY_VERIFY_WITH_TIMEOUT(
            lastBody("/api/msg/list").contains("\"channelNo\":0,\"clientType\":4,\"deviceSerial\":\"-1\""),
            10000);
        QVERIFY(lastBody("/api/msg/list").contains("\"isRead\":0"));
    }

    void timesAreCheckedAndReset()
    {
        child<QTabWidget>("leftTabWidget")->setCurrentIndex(1);
        auto* pFrom = child<QLabel>("fromTimeLab");
        auto* pTo = child<QLabel>("reachTimeLab");
        pFrom->setText(pTo->text());
        const int nLists = requests("/api/msg/list").size();
        child<QPushButton>("filterOkBtn")->click();
        QCOMPARE(child<QLabel>("timeSetWarningLab")->text(), QString("开始时间必须小于结束时间"));
        QTest::qWait(200);
        QCOMPARE(requests("/api/msg/list").size(), nLists);

        // A date after today from the calendar is ignored.
        child<QPushButton>("fromCalBtn")->click();
        const QString strTomorrow = QDate::currentDate().addDays(1).toString("yyyy-MM-dd") + " 08:00:00";
        m_client->slotCalendarSet(strTomorrow);
        QVERIFY(pFrom->text() != strTomorrow);
        const QString strYesterday = QDate::currentDate().addDays(-1).toString("yyyy-MM-dd") + " 08:00:00";
        m_client->slotCalendarSet(strYesterday);
        QCOMPARE(pFrom->text(), strYesterday);

        child<QPushButton>("filterResetBtn")->click();
        const QString strToday = QDate::currentDate().toString("yyyy-MM-dd");
        QCOMPARE(pFrom->text(), strToday + " 00:00:00");
        QCOMPARE(pTo->text(), strToday + " 23:59:59");
        QCOMPARE(child<QComboBox>("msgStatusCombox")->currentIndex(), 2);
        QCOMPARE(child<QComboBox>("isEncryptCombox")->currentIndex(), 2);
        QVERIFY(child<QLineEdit>("alarmDevInput")->text().isEmpty());
    }
};

QTEST_MAIN(TestFilterPanel)
#include "tst_filterpanel.moc"
