// The playback bar and its pieces: slider presses and releases that seek or
// end the clip, the bar following (or not) a real worker's position, and the
// Esc tip. The boxes and the play button are clicked end to end in
// tests/shell/tst_detailpanel.
#include "logkit/LogKit.h"
#include "playback/CEscTipWnd.h"
#include "playback/CPlayThread.h"
#include "playback/CusSlider.h"
#include "playback/CusSliderWnd.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

namespace {

int CapturedCount(const std::string& strNeedle)
{
    int nCount = 0;
    for (const auto& line : logkit::capturedLines()) {
        nCount += line.text.find(strNeedle) != std::string::npos ? 1 : 0;
    }
    return nCount;
}

void Press(QWidget* pWidget, int x)
{
    QTest::mousePress(pWidget, Qt::LeftButton, {}, QPoint(x, 5));
}
void Release(QWidget* pWidget, int x)
{
    QTest::mouseRelease(pWidget, Qt::LeftButton, {}, QPoint(x, 5));
}

} // namespace

class TestPlayControls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        SetModuleProcessEnd([] {});
        logkit::startCapture();
    }

    void timeTextIsHoursMinutesSeconds()
    {
        QCOMPARE(SliderTimeText(0), QStringLiteral("00:00:00"));
        QCOMPARE(SliderTimeText(752), QStringLiteral("00:12:32"));
        QCOMPARE(SliderTimeText(3661), QStringLiteral("01:01:01"));
        QCOMPARE(SliderTimeText(359999), QStringLiteral("99:59:59"));
        QCOMPARE(SliderTimeText(-5), QStringLiteral("00:00:00"));
    }

    void sliderPressSeeksOrStops()
    {
        CusSlider slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setRange(0, 752);
        slider.resize(300, 20);
        QSignalSpy seek(&slider, &CusSlider::SliderPosClickedSignal);
        QSignalSpy end(&slider, &CusSlider::SliderEndPosSignal);

        Press(&slider, 100); // 752 * 100 / 300 = 250.67
        QCOMPARE(slider.value(), 250);
        QCOMPARE(seek.count(), 1);
        QCOMPARE(seek.at(0).at(0).toInt(), 250);
        Release(&slider, 100); // a release seeks again where it ends
        QCOMPARE(seek.count(), 2);
        QCOMPARE(seek.at(1).at(0).toInt(), 250);

        Press(&slider, 0);
        QCOMPARE(seek.last().at(0).toInt(), 0);
        Release(&slider, 0);
        QCOMPARE(end.count(), 0);

        Press(&slider, slider.width());
        QCOMPARE(slider.value(), 752);
        QCOMPARE(end.count(), 1);
        Release(&slider, slider.width());
        QCOMPARE(end.count(), 2);
        QCOMPARE(seek.count(), 4);

        // Offset range, presses outside the groove and a groove not laid out yet.
        QCOMPARE(CusSlider::ValueAt(10, 110, 150, 300), 60);
        QCOMPARE(CusSlider::ValueAt(0, 752, -40, 300), 0);
        QCOMPARE(CusSlider::ValueAt(0, 752, 900, 300), 752);
        QCOMPARE(CusSlider::ValueAt(0, 752, 10, 0), 0);
    }

    void barStartsWithDefaultLengthAndShowsPositions()
    {
        CusSliderWnd bar(nullptr, nullptr);
        auto* pSlider = bar.findChild<CusSlider*>();
        QVERIFY(pSlider);
        QCOMPARE(pSlider->maximum(), 752);
        QCOMPARE(pSlider->value(), 0);
        QCOMPARE(bar.findChild<QLabel*>("totalTimeLab")->text(), QStringLiteral("00:12:32"));
        QVERIFY(bar.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(bar.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(bar.height() > 0);

        logkit::clearCapture();
        bar.UpdateVideoSlider(75);
        QCOMPARE(pSlider->value(), 75);
        QCOMPARE(bar.findChild<QLabel*>("curTimeLab")->text(), QStringLiteral("00:01:15"));
        QVERIFY(logkit::captured("value:75"));
        bar.SetSliderLength(3600);
        QCOMPARE(bar.findChild<QLabel*>("totalTimeLab")->text(), QStringLiteral("01:00:00"));

        // Showing the bar starts it at the beginning; without a worker a seek goes nowhere.
        bar.show();
        QCOMPARE(pSlider->value(), 0);
        Press(pSlider, pSlider->width() / 2);
        Release(pSlider, pSlider->width());
    }

    void barStopsFollowingTheWorkerUntilRestart()
    {
        MessageClient w{QString()};
        auto* pWorker = new CPlayThread(&w);
        CusSliderWnd bar(pWorker, nullptr);
        auto* pSlider = bar.findChild<CusSlider*>();
        pSlider->resize(300, 20);

        emit pWorker->SetRecordSliderLengthSignal(120);
        QCOMPARE(pSlider->maximum(), 120);
        QCOMPARE(bar.findChild<QLabel*>("totalTimeLab")->text(), QStringLiteral("00:02:00"));
        emit pWorker->UpdateRecordTimeSliderSignal(30);
        QCOMPARE(pSlider->value(), 30);

        logkit::clearCapture();
        Press(pSlider, 150);
        QVERIFY(logkit::captured("no segment at 60")); // the worker was asked to seek
        emit pWorker->UpdateRecordTimeSliderSignal(99);
        QCOMPARE(pSlider->value(), 60);
        Release(pSlider, 150);
        emit pWorker->UpdateRecordTimeSliderSignal(99);
        QCOMPARE(pSlider->value(), 60);

        // Every start reconnects, but never twice.
        emit pWorker->RecordStartSignal();
        emit pWorker->RecordStartSignal();
        logkit::clearCapture();
        emit pWorker->UpdateRecordTimeSliderSignal(77);
        QCOMPARE(pSlider->value(), 77);
        QCOMPARE(CapturedCount("value:77"), 1);

        // The clip's end ends the clip instead of seeking.
        logkit::clearCapture();
        Press(pSlider, 300);
        QVERIFY(logkit::captured("slider at its end"));
        QVERIFY(!logkit::captured("no segment at"));
    }

    void escTipHidesItselfAndPassesEsc()
    {
        QWidget owner;
        CEscTipWnd tip(&owner);
        QSignalSpy esc(&tip, &CEscTipWnd::KeyEscPressedSig);

        tip.show();
        const QRect rcScreen = owner.screen()->geometry();
        QCOMPARE(tip.pos(), QPoint(rcScreen.left() + (rcScreen.width() - 240) / 2,
                                   rcScreen.top() + (rcScreen.height() - 56) / 2));
        QTest::keyClick(&tip, Qt::Key_Space);
        QCOMPARE(esc.count(), 0);
        QTest::keyClick(&tip, Qt::Key_Escape);
        QCOMPARE(esc.count(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(!tip.isVisible(), 15000);
        // Each entry into full screen shows it again for its full time.
        tip.show();
        QVERIFY(tip.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!tip.isVisible(), 15000);
    }
};

QTEST_MAIN(TestPlayControls)
#include "tst_playcontrols.moc"
