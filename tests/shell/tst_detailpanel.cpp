// The detail side as the operator meets it, against the real simulator, video
// library and host: rows are clicked, the play, pause, full-screen and slider
// controls are clicked, and what the record area shows is read back from the
// window's own pixels.
#include "ModuleFixture.h"

#include "alarms/BigPicWgt.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CPasswdInputWnd.h"
#include "playback/ButLblWgt.h"
#include "playback/CPlayThread.h"
#include "playback/CusSlider.h"
#include "playback/CusSliderWnd.h"

#include <QCheckBox>
#include <QDateTime>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>
#include <QtTest>

#include <functional>

namespace {

constexpr int kWaitMs = 30000;

// Two pictures of the same size that are not the same.
bool Differ(const QImage& first, const QImage& second)
{
    return !first.isNull() && first.size() == second.size() &&
           first.convertToFormat(QImage::Format_RGB32) != second.convertToFormat(QImage::Format_RGB32);
}

QString TimeText(qint64 nMs)
{
    return QDateTime::fromMSecsSinceEpoch(nMs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

class TestDetailPanel : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    SimulatorProcess& m_sim = m_fx.sim;
    MessageClient* m_client = nullptr;
    qint64 m_nAlarmMs = 0;

    template <typename T>
    T* child(const char* szName) const
    {
        return m_fx.child<T>(szName);
    }
    CPlayThread* worker() const { return m_fx.worker(); }
    CusSliderWnd* bar() const { return m_fx.bar(); }
    QLabel* stateText() const { return child<QLabel>("recordNothingLab"); }
    // Rows have a picLab too: the detail page's is inside picNtRtyWgt.
    QLabel* detailPicture() const { return child<QWidget>("picNtRtyWgt")->findChild<QLabel*>("picLab"); }
    int headingY() const { return child<QLabel>("label_3")->mapTo(m_client, QPoint(0, 0)).y(); }
    void clickPlay() { QTest::mouseClick(child<QPushButton>("plyBut"), Qt::LeftButton); }

    // What the window has painted over the record area.
    QImage grabRecordArea() const
    {
        QWidget* pArea = child<QWidget>("recordArea");
        QWidget* pTop = pArea->window();
        const QPoint ptArea = pArea->mapTo(pTop, QPoint(0, 0));
        return pTop->screen()
            ->grabWindow(pTop->winId(), ptArea.x(), ptArea.y(), pArea->width(), pArea->height())
            .toImage();
    }

    // Whether the record area changed while the picture's own clock went on by two seconds.
    bool changesOverTwoSeconds()
    {
        int nFrom = -1;
        if (!QTest::qWaitFor([&] { return (nFrom = CRecordTable::SecondsOfDay(worker()->OsdTime())) > 0; },
                             kWaitMs)) {
            return false;
        }
        const QImage first = grabRecordArea();
        if (!QTest::qWaitFor([&] { return CRecordTable::SecondsOfDay(worker()->OsdTime()) >= nFrom + 2; },
                             kWaitMs)) {
            return false;
        }
        QTest::qWait(0);
        return Differ(first, grabRecordArea());
    }

    // Answers the next code dialog from inside its exec(): before runs first.
    void answerCodeDialog(const QString& strCode, std::function<void()> before = {})
    {
        m_fx.onNextModal<CPasswdInputWnd>([strCode, before](CPasswdInputWnd* pDialog) {
            if (before) {
                before();
            }
            QTest::keyClicks(pDialog->findChild<QLineEdit*>("lineEdit"), strCode);
            QTest::mouseClick(pDialog->findChild<QPushButton*>("OkBtn"), Qt::LeftButton);
        });
    }

private slots:
    void initTestCase()
    {
        // Alarms a few minutes old: their two-minute windows lie in recorded time.
        m_nAlarmMs = QDateTime::currentMSecsSinceEpoch() - 300000;
        QList<QJsonObject> alarms;
        for (const auto& camera : {qMakePair(QString("PV1000001"), 1), qMakePair(QString("PV1000002"), 1),
                                   qMakePair(QString("PV1000004"), 1), qMakePair(QString("PV2000100"), 3)}) {
            alarms.append(QJsonObject{{"deviceSerial", camera.first},
                                      {"channelNo", camera.second},
                                      {"alarmTime", m_nAlarmMs},
                                      {"push", false}});
        }
        QVERIFY2(m_fx.start(alarms, true) && m_fx.open(4), qPrintable(m_fx.error()));
        m_client = m_fx.client();
    }

    void init()
    {
        m_sim.clearFaults();
        m_client->SetPlaybackTimings(0, 0);
    }

    void cleanup()
    {
        // Another alarm chosen stops whatever plays; this one's picture fails
        // quietly (the platform's code is stale), so no dialog comes up.
        m_fx.clickRow("PV2000100", 3);
        QVERIFY(!worker()->IsPlayRequested());
        QVERIFY(!bar()->isVisible());
    }

    void clipMovesInTheWindowAndInFullScreen_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("plain") << "PV1000001";
        QTest::newRow("encrypted") << "PV1000002";
    }

    void clipMovesInTheWindowAndInFullScreen()
    {
        QFETCH(QString, serial);
        QVERIFY(m_fx.clickRow(serial.toStdString()));
        QTRY_COMPARE(child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(),
                     QString("detailPage"));
        QWidget* pArea = child<QWidget>("recordArea");
        const int nHeading = headingY();
        const int nAreaHeight = pArea->height();

        clickPlay();
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isVisible(), kWaitMs);
        QVERIFY(!stateText()->isVisible());
        QVERIFY(changesOverTwoSeconds());
        // The layout keeps its shape: the heading stays, the area keeps its height.
        QCOMPARE(headingY(), nHeading);
        QCOMPARE(pArea->height(), nAreaHeight);

        auto* pFullBox = bar()->findChild<QCheckBox*>("fullScrBox");
        QSignalSpy fullScreen(m_client, &MessageClient::sig_FullScreen);
        QTest::mouseClick(pFullBox, Qt::LeftButton);
        QCOMPARE(fullScreen.size(), 1);
        QCOMPARE(fullScreen.at(0).at(0).toBool(), true);
        QVERIFY(!child<QWidget>("leftFrame")->isVisible());
        QTRY_VERIFY(pArea->height() > nAreaHeight);
        QVERIFY(changesOverTwoSeconds());

        // Esc on the bar leaves full screen, and the box shows it.
        QTest::keyClick(bar(), Qt::Key_Escape);
        QCOMPARE(fullScreen.size(), 2);
        QCOMPARE(fullScreen.at(1).at(0).toBool(), false);
        QVERIFY(!pFullBox->isChecked());
        QVERIFY(child<QWidget>("leftFrame")->isVisible());
        QTRY_COMPARE(headingY(), nHeading);
        QVERIFY(bar()->isVisible());
    }

    void largeViewShowsTheWholePictureAndLeavesTheClipAlone()
    {
        CAlarmMsgWnd* pRow = m_fx.clickRow("PV1000001");
        QVERIFY(pRow);
        clickPlay();
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isVisible(), kWaitMs);

        QTRY_VERIFY(child<QPushButton>("bigPicBut")->isEnabled());
        QTest::mouseClick(child<QPushButton>("bigPicBut"), Qt::LeftButton);
        auto* pBig = m_client->findChild<BigPicWgt*>();
        QTRY_VERIFY(pBig->isVisible());
        // The row's picture as it came, not the small copy of the detail area.
        QCOMPARE(pBig->Picture().size(), pRow->GetPicture().size());
        QVERIFY(pBig->Picture().width() > detailPicture()->width());

        QTest::mouseClick(pBig->findChild<QPushButton*>("clsBtn"), Qt::LeftButton);
        QVERIFY(!pBig->isVisible());
        QVERIFY(bar()->isVisible());
        QVERIFY(changesOverTwoSeconds());
    }

    void pauseOutlastsTheStallLimitsAndResumes()
    {
        // Short watch periods: the stall limit (forty periods) passes in two seconds.
        m_client->SetPlaybackTimings(50, 0);
        QVERIFY(m_fx.startClipOf("PV1000001"));
        // Past the clip's first second, where the slider starts to follow.
        const int nStart = CRecordTable::SecondsOfDay(worker()->SearchStartTime());
        QTRY_VERIFY_WITH_TIMEOUT(CRecordTable::SecondsOfDay(worker()->OsdTime()) > nStart + 1, kWaitMs);

        // Pause while a data block is on its way to the window.
        QSignalSpy data(worker(), &CPlayThread::HasFrameSignal);
        const int nBefore = data.count();
        for (int i = 0; i < 2000 && data.count() == nBefore; ++i) {
            QThread::msleep(5); // the spy counts on the library's thread
        }
        QVERIFY(data.count() > nBefore);
        QTest::mouseClick(bar()->findChild<QCheckBox*>("plyPauseBox"), Qt::LeftButton);
        QVERIFY(worker()->IsPaused());

        QSignalSpy polls(worker(), &CPlayThread::UpdateRecordTimeSliderSignal);
        QVERIFY(QTest::qWaitFor([&] { return polls.count() >= 3; }, kWaitMs));
        const std::string strPausedAt = worker()->OsdTime();
        QVERIFY(QTest::qWaitFor([&] { return polls.count() >= 80; }, kWaitMs));
        QCOMPARE(worker()->OsdTime(), strPausedAt);
        QVERIFY(worker()->IsRecordPlaying());
        QVERIFY(!child<ButLblWgt>("butLblWgt")->isVisible());
        QVERIFY(!stateText()->isVisible());
        QVERIFY(bar()->isVisible());

        QTest::mouseClick(bar()->findChild<QCheckBox*>("plyPauseBox"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(worker()->OsdTime() != strPausedAt, kWaitMs);
    }

    void sliderEndEndsTheClip()
    {
        QVERIFY(m_fx.startClipOf("PV1000001"));
        auto* pSlider = bar()->findChild<CusSlider*>();
        QTest::mouseClick(pSlider, Qt::LeftButton, {}, QPoint(pSlider->width(), pSlider->height() / 2));
        QTRY_COMPARE(stateText()->text(), QStringLiteral("回放结束"));
        QVERIFY(stateText()->isVisible());
        QVERIFY(child<QPushButton>("rePlyBut")->isVisible());
        QVERIFY(!bar()->isVisible());
        QVERIFY(!worker()->IsRecordPlaying());
    }

    void anEarlierAlarmsSearchAnswerIsIgnored()
    {
        // The first alarm's search fails, but only after the next one plays.
        QVERIFY(m_sim.setFault("/cloud/v1/records", 500, 3000, false, 1));
        const int nSearches = m_sim.lastRequests("/cloud/v1/records", 100).size();
        QVERIFY(m_fx.clickRow("PV1000002"));
        clickPlay();
        // Its request reaches the simulator before the next alarm's.
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.lastRequests("/cloud/v1/records", 100).size() > nSearches, kWaitMs);

        QVERIFY(m_fx.startClipOf("PV1000001"));
        QTRY_VERIFY_WITH_TIMEOUT(CRecordTable::SecondsOfDay(worker()->OsdTime()) > 0, kWaitMs);
        const int nFrom = CRecordTable::SecondsOfDay(worker()->OsdTime());
        QTRY_VERIFY_WITH_TIMEOUT(CRecordTable::SecondsOfDay(worker()->OsdTime()) >= nFrom + 4, kWaitMs);
        QVERIFY(worker()->IsRecordPlaying());
        QVERIFY(!stateText()->isVisible());
        QVERIFY(bar()->isVisible());
    }

    void filesTooShortMeanNoRecording()
    {
        m_client->SetPlaybackTimings(0, 3000);
        const QString strBody = QString("{\"code\":0,\"records\":[{\"start\":\"%1\",\"end\":\"%2\"}]}")
                                    .arg(TimeText(m_nAlarmMs), TimeText(m_nAlarmMs + 1000));
        QVERIFY(m_sim
                    .admin("POST", "/admin/faults",
                           {{"path", "/cloud/v1/records"}, {"status", 200}, {"body", strBody}, {"count", 1}})
                    .value("ok")
                    .toBool());
        QVERIFY(m_fx.clickRow("PV1000001"));
        clickPlay();
        QTRY_VERIFY_WITH_TIMEOUT(stateText()->isVisible() && !stateText()->text().isEmpty(), kWaitMs);
        QCOMPARE(stateText()->text(), QStringLiteral("该告警消息无录像"));
        QCOMPARE(child<QPushButton>("rePlyBut")->text(), QStringLiteral("重试"));
    }

    void retryAfterAWrongCodeWaitsABoundedTime()
    {
        m_client->SetPlaybackTimings(0, 3000);
        // The platform's copy of this camera's code is stale: the first attempt
        // is refused, the dialog asks, and the retry's stream never starts.
        bool bAsked = false;
        answerCodeDialog("RDNVR123", [&] {
            bAsked = true;
            m_sim.setFault("/cloud/v1/stream", 0, 20000, false, 1);
        });
        QVERIFY(m_fx.clickRow("PV2000100", 3));
        clickPlay();
        QTRY_VERIFY_WITH_TIMEOUT(bAsked, kWaitMs);
        QVERIFY(child<ButLblWgt>("butLblWgt")->IsAnimLabelVisible());
        QVERIFY(!child<QPushButton>("rePlyBut")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>("rePlyBut")->isVisible(), kWaitMs);
        QCOMPARE(stateText()->text(), QStringLiteral("网络卡顿码流异常"));
    }

    void anUnknownCodeIsAskedForWhenTheRowIsPressed()
    {
        bool bAsked = false;
        answerCodeDialog("ZXCVBN", [&] { bAsked = true; });
        QVERIFY(m_fx.clickRow("PV1000004"));
        QTRY_VERIFY_WITH_TIMEOUT(bAsked, kWaitMs);
        QTRY_VERIFY(!detailPicture()->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(child<QPushButton>("bigPicBut")->isEnabled());
        QVERIFY(!child<QPushButton>("refshPicPushBut")->isVisible());
    }

    void disabledControlsLookDisabled()
    {
        for (const char* szName : {"firstPageBtn", "prePageBtn", "nextPageBtn", "lastPageBtn", "bigPicBut"}) {
            auto* pButton = child<QPushButton>(szName);
            const bool bWasEnabled = pButton->isEnabled();
            pButton->setEnabled(false);
            const QImage disabled = pButton->grab().toImage();
            pButton->setEnabled(true);
            const QImage enabled = pButton->grab().toImage();
            pButton->setEnabled(bWasEnabled);
            QVERIFY2(Differ(disabled, enabled), szName);
        }
    }
};

QTEST_MAIN(TestDetailPanel)
#include "tst_detailpanel.moc"
