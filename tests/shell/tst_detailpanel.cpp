// The detail side as the operator meets it, against the real simulator, video library and host:
// rows and controls are clicked, and what the record area shows is read from the window's pixels.
#include "ModuleFixture.h"

#include "alarms/BigPicWgt.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CPasswdInputWnd.h"
#include "playback/ButLblWgt.h"
#include "playback/CusSlider.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>
#include <QtTest>

#include <functional>

constexpr int kWaitMs = 30000;

class TestDetailPanel : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    qint64 m_nAlarmMs = 0;
    bool m_bAsked = false;

    // Two pictures of the same size that are not the same.
    static bool Differ(const QImage& first, const QImage& second)
    {
        return !first.isNull() && first.size() == second.size() &&
               first.convertToFormat(QImage::Format_RGB32) != second.convertToFormat(QImage::Format_RGB32);
    }
    CPlayThread* worker() const { return m_fx.worker(); }
    int osdSecond() const { return CRecordTable::SecondsOfDay(worker()->OsdTime()); }
    // Plays: the picture shows, no state text over it, the control bar up.
    bool plays() const
    {
        return worker()->IsRecordPlaying() && !stateText()->isVisible() && bar()->isVisible();
    }
    CusSliderWnd* bar() const { return m_fx.bar(); }
    QLabel* stateText() const { return m_fx.child<QLabel>("recordNothingLab"); }
    // Rows have a picLab too: the detail page's is inside picNtRtyWgt.
    QLabel* detailPicture() const { return m_fx.child<QWidget>("picNtRtyWgt")->findChild<QLabel*>("picLab"); }
    int headingY() const { return m_fx.child<QLabel>("label_3")->mapTo(m_fx.client(), QPoint(0, 0)).y(); }
    void clickPlay() { QTest::mouseClick(m_fx.child<QPushButton>("plyBut"), Qt::LeftButton); }
    // What the window has painted over the record area.
    QImage grabRecordArea() const
    {
        QWidget* pArea = m_fx.child<QWidget>("recordArea");
        const QRect area(pArea->mapTo(pArea->window(), QPoint(0, 0)), pArea->size());
        return pArea->screen()
            ->grabWindow(pArea->window()->winId(), area.x(), area.y(), area.width(), area.height())
            .toImage();
    }
    // Whether the record area changed while the picture's own clock went on by two seconds.
    bool changesOverTwoSeconds()
    {
        int nFrom = -1;
        if (!QTest::qWaitFor([&] { return (nFrom = osdSecond()) > 0; }, kWaitMs))
            return false;
        const QImage first = grabRecordArea();
        if (!QTest::qWaitFor([&] { return osdSecond() >= nFrom + 2; }, kWaitMs))
            return false;
        QTest::qWait(0);
        return Differ(first, grabRecordArea());
    }
    // Answers the next code dialog from inside its exec() (m_bAsked tells); before runs first.
    void answerCodeDialog(
        const QString& strCode, std::function<void()> before = [] {})
    {
        m_bAsked = false;
        m_fx.onNextModal<CPasswdInputWnd>([this, strCode, before](CPasswdInputWnd* pDialog) {
            m_bAsked = true;
            before();
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
        QJsonObject alarm{{"alarmTime", m_nAlarmMs}, {"push", false}};
        for (const char* szCamera : {"PV1000001:1", "PV1000002:1", "PV1000004:1", "PV2000100:3"}) {
            alarm["deviceSerial"] = QString(szCamera).section(':', 0, 0);
            alarm["channelNo"] = QString(szCamera).section(':', 1).toInt();
            alarms << alarm;
        }
        QVERIFY2(m_fx.start(alarms, true) && m_fx.open(4), qPrintable(m_fx.error()));
    }

    void init()
    {
        m_fx.sim.clearFaults();
        m_fx.client()->SetPlaybackTimings(0, 0);
    }

    void cleanup()
    {
        // Another alarm stops what plays; its picture fails quietly (stale platform code): no dialog.
        m_fx.clickRow("PV2000100", 3);
        QVERIFY(!worker()->IsPlayRequested() && !bar()->isVisible());
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
        QTRY_COMPARE(m_fx.child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(),
                     QString("detailPage"));
        QWidget* pArea = m_fx.child<QWidget>("recordArea");
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
        QSignalSpy fullScreen(m_fx.client(), &MessageClient::sig_FullScreen);
        QTest::mouseClick(pFullBox, Qt::LeftButton);
        QVERIFY(fullScreen.size() == 1 && fullScreen.at(0).at(0).toBool());
        QVERIFY(!m_fx.child<QWidget>("leftFrame")->isVisible());
        QTRY_VERIFY(pArea->height() > nAreaHeight);
        QVERIFY(changesOverTwoSeconds());
        // Esc on the bar leaves full screen, and the box shows it.
        QTest::keyClick(bar(), Qt::Key_Escape);
        QVERIFY(fullScreen.size() == 2 && !fullScreen.at(1).at(0).toBool() && !pFullBox->isChecked());
        QVERIFY(m_fx.child<QWidget>("leftFrame")->isVisible());
        QTRY_COMPARE(headingY(), nHeading);
        QVERIFY(bar()->isVisible());
    }

    void largeViewShowsTheWholePictureAndLeavesTheClipAlone()
    {
        QVERIFY(m_fx.startClipOf("PV1000001"));
        const CAlarmMsgWnd* pRow = m_fx.unreadList()->CurrentRow();
        QTRY_VERIFY(m_fx.child<QPushButton>("bigPicBut")->isEnabled());
        QTest::mouseClick(m_fx.child<QPushButton>("bigPicBut"), Qt::LeftButton);
        auto* pBig = m_fx.client()->findChild<BigPicWgt*>();
        QTRY_VERIFY(pBig->isVisible());
        // The row's picture as it came, not the small copy of the detail area.
        QCOMPARE(pBig->Picture().size(), pRow->GetPicture().size());
        QVERIFY(pBig->Picture().width() > detailPicture()->width());
        QTest::mouseClick(pBig->findChild<QPushButton*>("clsBtn"), Qt::LeftButton);
        QVERIFY(!pBig->isVisible() && bar()->isVisible());
        QVERIFY(changesOverTwoSeconds());
    }

    void pauseOutlastsTheStallLimitsAndTheSliderEndEndsTheClip()
    {
        // Short watch periods: the stall limit (forty periods) passes in two seconds.
        m_fx.client()->SetPlaybackTimings(50, 0);
        QVERIFY(m_fx.startClipOf("PV1000001"));
        // Past the clip's first second, where the slider starts to follow.
        QTRY_VERIFY_WITH_TIMEOUT(osdSecond() > CRecordTable::SecondsOfDay(worker()->SearchStartTime()) + 1,
                                 kWaitMs);
        // Pause while a data block is on its way to the window.
        QSignalSpy data(worker(), &CPlayThread::HasFrameSignal);
        const int nBefore = data.count();
        for (int i = 0; i < 2000 && data.count() == nBefore; ++i)
            QThread::msleep(5); // the spy counts on the library's thread
        QVERIFY(data.count() > nBefore);
        QTest::mouseClick(bar()->findChild<QCheckBox*>("plyPauseBox"), Qt::LeftButton);
        QVERIFY(worker()->IsPaused());
        QSignalSpy polls(worker(), &CPlayThread::UpdateRecordTimeSliderSignal);
        QVERIFY(QTest::qWaitFor([&] { return polls.count() >= 3; }, kWaitMs));
        const std::string strPausedAt = worker()->OsdTime();
        QVERIFY(QTest::qWaitFor([&] { return polls.count() >= 80; }, kWaitMs));
        QCOMPARE(worker()->OsdTime(), strPausedAt);
        QVERIFY(plays() && !m_fx.child<ButLblWgt>("butLblWgt")->isVisible());
        QTest::mouseClick(bar()->findChild<QCheckBox*>("plyPauseBox"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(worker()->OsdTime() != strPausedAt, kWaitMs);
        auto* pSlider = bar()->findChild<CusSlider*>();
        QTest::mouseClick(pSlider, Qt::LeftButton, {}, QPoint(pSlider->width(), pSlider->height() / 2));
        QTRY_COMPARE(stateText()->text(), QStringLiteral("回放结束"));
        QVERIFY(stateText()->isVisible() && m_fx.child<QPushButton>("rePlyBut")->isVisible());
        QVERIFY(!bar()->isVisible() && !worker()->IsRecordPlaying());
    }

    void anEarlierAlarmsSearchAnswerIsIgnored()
    {
        // The first alarm's search fails, but only after the next one plays.
        QVERIFY(m_fx.sim.setFault("/cloud/v1/records", 500, 3000, false, 1));
        const int nSearches = m_fx.sim.lastRequests("/cloud/v1/records", 100).size();
        QVERIFY(m_fx.clickRow("PV1000002"));
        clickPlay();
        // Its request reaches the simulator before the next alarm's.
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.sim.lastRequests("/cloud/v1/records", 100).size() > nSearches, kWaitMs);
        QVERIFY(m_fx.startClipOf("PV1000001"));
        QTRY_VERIFY_WITH_TIMEOUT(osdSecond() > 0, kWaitMs);
        const int nFrom = osdSecond();
        QTRY_VERIFY_WITH_TIMEOUT(osdSecond() >= nFrom + 4, kWaitMs);
        QVERIFY(plays());
    }

    void filesTooShortMeanNoRecording()
    {
        m_fx.client()->SetPlaybackTimings(0, 3000);
        const auto time = [](qint64 nMs) {
            return QDateTime::fromMSecsSinceEpoch(nMs).toString("yyyy-MM-dd hh:mm:ss");
        };
        const QString strBody = QString("{\"code\":0,\"records\":[{\"start\":\"%1\",\"end\":\"%2\"}]}")
                                    .arg(time(m_nAlarmMs), time(m_nAlarmMs + 1000));
        QVERIFY(m_fx.sim.setFault("/cloud/v1/records", 200, 0, false, 1, strBody));
        QVERIFY(m_fx.clickRow("PV1000001"));
        clickPlay();
        QTRY_VERIFY_WITH_TIMEOUT(stateText()->isVisible() && !stateText()->text().isEmpty(), kWaitMs);
        QCOMPARE(stateText()->text(), QStringLiteral("该告警消息无录像"));
        QCOMPARE(m_fx.child<QPushButton>("rePlyBut")->text(), QStringLiteral("重试"));
    }

    void retryAfterAWrongCodeWaitsABoundedTime()
    {
        m_fx.client()->SetPlaybackTimings(0, 3000);
        // The platform's copy of this camera's code is stale: the first attempt
        // is refused, the dialog asks, and the retry's stream never starts.
        answerCodeDialog("RDNVR123", [this] { m_fx.sim.setFault("/cloud/v1/stream", 0, 20000, false, 1); });
        QVERIFY(m_fx.clickRow("PV2000100", 3));
        clickPlay();
        QTRY_VERIFY_WITH_TIMEOUT(m_bAsked, kWaitMs);
        QVERIFY(m_fx.child<ButLblWgt>("butLblWgt")->IsAnimLabelVisible() &&
                !m_fx.child<QPushButton>("rePlyBut")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.child<QPushButton>("rePlyBut")->isVisible(), kWaitMs);
        QCOMPARE(stateText()->text(), QStringLiteral("网络卡顿码流异常"));
    }

    void anUnknownCodeIsAskedForWhenTheRowIsPressed()
    {
        answerCodeDialog("ZXCVBN");
        QVERIFY(m_fx.clickRow("PV1000004"));
        QTRY_VERIFY_WITH_TIMEOUT(m_bAsked, kWaitMs);
        QTRY_VERIFY(!detailPicture()->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(m_fx.child<QPushButton>("bigPicBut")->isEnabled() &&
                !m_fx.child<QPushButton>("refshPicPushBut")->isVisible());
    }

    void disabledControlsLookDisabled()
    {
        for (const char* szName : {"firstPageBtn", "prePageBtn", "nextPageBtn", "lastPageBtn", "bigPicBut"}) {
            auto* pButton = m_fx.child<QPushButton>(szName);
            const bool bWasEnabled = pButton->isEnabled();
            pButton->setEnabled(false);
            const QImage disabled = pButton->grab().toImage();
            pButton->setEnabled(true);
            QVERIFY2(Differ(disabled, pButton->grab().toImage()), szName);
            pButton->setEnabled(bWasEnabled);
        }
    }
};

QTEST_MAIN(TestDetailPanel)
#include "tst_detailpanel.moc"
