// The detail side with the real simulator, video library and host: an alarm
// is opened, its clip plays with the control bar, full screen comes and goes,
// an encrypted picture opens large, and hiding the module stops the clip.
#include "ModuleLaunch.h"

#include "alarms/BigPicWgt.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "playback/ButLblWgt.h"
#include "playback/CPlayThread.h"
#include "playback/CusSliderWnd.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestDetailPanel : public QObject
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
    CListCtrl* unreadList() const { return child<QWidget>("notReadListTab")->findChild<CListCtrl*>(); }

    // Presses the row of the given camera, once its picture is in.
    CAlarmMsgWnd* openRowOf(const std::string& strSerial)
    {
        CListCtrl* pList = unreadList();
        for (size_t i = 0; i < pList->ShownRows().size(); ++i) {
            CAlarmMsgWnd* pRow = pList->ShownRows()[i];
            if (pRow->GetAlarmInfo().deviceSerial == strSerial) {
                QElapsedTimer timer;
                timer.start();
                while (!pRow->IsPicReqFinished() && timer.elapsed() < 15000) {
                    QTest::qWait(20);
                }
                emit pList->pressed(pList->model()->index(static_cast<int>(i), 0));
                return pRow;
            }
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
        qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
        qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
        m_sim.addAlarm({{"deviceSerial", "PV1000001"}, {"channelNo", 1}, {"push", false}});
        m_sim.addAlarm({{"deviceSerial", "PV1000002"}, {"channelNo", 1}, {"push", false}});
        LaunchValues::reset();
        m_client = std::make_unique<MessageClient>(
            ModuleLaunchString(m_host, m_sim, WriteModuleConfig(m_dir.path(), m_sim), true));
        m_client->resize(1296, 721);
        m_client->show();
        QTRY_COMPARE_WITH_TIMEOUT(int(unreadList()->ShownRows().size()), 2, 15000);
    }

    void cleanupTestCase() { m_client.reset(); }

    void clipPlaysWithTheControlBarAndFullScreen()
    {
        QVERIFY(openRowOf("PV1000001"));
        QCOMPARE(child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(), QString("detailPage"));
        QVERIFY(child<QPushButton>("bigPicBut")->isEnabled());

        auto* pPlay = child<ButLblWgt>("butLblWgt");
        emit pPlay->sigButClked();
        auto* pBar = m_client->findChild<CusSliderWnd*>();
        QTRY_VERIFY_WITH_TIMEOUT(pBar->isVisible(), 20000);
        QVERIFY(m_client->findChild<CPlayThread*>()->IsRecordPlaying());
        QVERIFY(!child<QLabel>("recordNothingLab")->isVisible());

        QSignalSpy fullScreen(m_client.get(), &MessageClient::sig_FullScreen);
        emit pBar->sigFullScrClk();
        QCOMPARE(fullScreen.size(), 1);
        QCOMPARE(fullScreen.at(0).at(0).toBool(), true);
        QCOMPARE(fullScreen.at(0).at(1).toInt(), 3);
        QVERIFY(!child<QWidget>("leftFrame")->isVisible());
        QTest::keyClick(m_client.get(), Qt::Key_Escape);
        QCOMPARE(fullScreen.size(), 2);
        QCOMPARE(fullScreen.at(1).at(0).toBool(), false);
        QVERIFY(child<QWidget>("leftFrame")->isVisible());
        // Esc outside full screen leaves the layout alone.
        QTest::keyClick(m_client.get(), Qt::Key_Escape);
        QCOMPARE(fullScreen.size(), 2);

        // Hiding the module without remembering stops the clip.
        m_client->ChangeHideModule(0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_client->findChild<CPlayThread*>()->IsRecordPlaying(), 5000);
        QVERIFY(!pBar->isVisible());
        QCOMPARE(child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(), QString("orgPage"));
    }

    void encryptedPictureOpensLarge()
    {
        CAlarmMsgWnd* pRow = openRowOf("PV1000002");
        QVERIFY(pRow);
        QVERIFY(pRow->HasPic());
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>("bigPicBut")->isEnabled(), 10000);
        QVERIFY(!child<QLabel>("picLab")->pixmap(Qt::ReturnByValue).isNull());
        const int nFrom = m_host.lines().size();
        child<QPushButton>("bigPicBut")->click();
        auto* pBig = m_client->findChild<BigPicWgt*>();
        QTRY_VERIFY_WITH_TIMEOUT(pBig->isVisible(), 5000);
        QVERIFY(m_host.waitForLine("MSG 2052 w=10 l=0", 5000, nFrom) >= 0);
        m_client->SetBigPicShow(false);
        QVERIFY(!pBig->isVisible());
        m_client->SetBigPicShow(true);
        QVERIFY(pBig->isVisible());
    }
};

QTEST_MAIN(TestDetailPanel)
#include "tst_detailpanel.moc"
