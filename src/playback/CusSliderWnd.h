// Control bar floated over the bottom edge of the record area while a clip
// plays: play/pause, elapsed time, seek slider, clip length and full screen.
// It talks to the playback worker directly; the window only places it and
// handles the full-screen request.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

class CPlayThread;
namespace Ui {
class CusSliderFrame;
}

// "hh:mm:ss" of a position or length in seconds on the slider scale.
QString SliderTimeText(int nSeconds);

class CusSliderWnd : public QDialog
{
    Q_OBJECT
public:
    // Without a worker the bar still works as a widget but drives nothing.
    CusSliderWnd(CPlayThread* pPlayThread, QWidget* parent);
    ~CusSliderWnd() override;

    void SetSliderLength(int length);
    void UpdateVideoSlider(int value);
    void SetPlayChecked(bool bChecked);
    bool IsPlayChecked() const;
    // Shows "playing" without asking the worker to resume.
    void SetPlayingQuietly();
    void SetFullScreenChecked(bool bChecked);
    bool IsFullScreenChecked() const;

    // The keys of a playing clip: Space pauses and resumes, Left and Right seek
    // kSeekStepSeconds, F switches full screen. False for any other key.
    bool HandlePlaybackKey(int nKey);
    // Seeks by nSeconds from the handle, staying inside the clip.
    void SeekBy(int nSeconds);
    static constexpr int kSeekStepSeconds = 5;

public slots:
    void OnSliderClickedSlot(int value);
    void OnRecordStartSlot();
    void slot_plyPauseClked();
    void slot_fullScrClked();

signals:
    // true: play, false: pause.
    void sigSetPlyPause(bool bPause);
    void sigFullScrClk();

protected:
    void showEvent(QShowEvent* ev) override;
    void keyPressEvent(QKeyEvent* ev) override;

private:
    void ConnectWorker();
    void FollowWorkerPosition();
    void ConnectPlayPauseClick();

    std::unique_ptr<Ui::CusSliderFrame> ui;
    // The window owns the worker; a guarded pointer keeps a late call harmless.
    QPointer<CPlayThread> m_pPlayThread;
    QMetaObject::Connection m_connPlyPauseClick;
};
