#include "playback/CusSliderWnd.h"

#include "base/ModuleLog.h"
#include "playback/CPlayThread.h"
#include "ui_CusSliderWnd.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace {

// Clip length shown before the first search result.
const int kInitialLength = 752;

} // namespace

QString SliderTimeText(int nSeconds)
{
    // A position before the start is shown as the start, not as negative fields.
    const int nValue = nSeconds < 0 ? 0 : nSeconds;
    return QStringLiteral("%1:%2:%3")
        .arg(nValue / 3600, 2, 10, QLatin1Char('0'))
        .arg(nValue % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(nValue % 60, 2, 10, QLatin1Char('0'));
}

CusSliderWnd::CusSliderWnd(CPlayThread* pPlayThread, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CusSliderFrame>()), m_pPlayThread(pPlayThread)
{
    ui->setupUi(this);
    setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint | Qt::Dialog | Qt::SubWindow);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowModality(Qt::NonModal);
    setAutoFillBackground(true);
    // Coming up with a clip it must not take the keys from the list the
    // operator is working in; they reach the clip through the window anyway.
    setAttribute(Qt::WA_ShowWithoutActivating);

    ui->timeSlider->setValue(0);
    ui->timeSlider->setMinimum(0);
    SetSliderLength(kInitialLength);

    if (m_pPlayThread) {
        ConnectWorker();
    } else {
        MC_LOG(5, "CusSliderWnd::CusSliderWnd", "<%d>\t<%s>,no playback worker, bar drives nothing");
    }
    connect(ui->timeSlider, &CusSlider::SliderPosClickedSignal, this, &CusSliderWnd::OnSliderClickedSlot);
    ConnectPlayPauseClick();
    if (m_pPlayThread) {
        connect(this, &CusSliderWnd::sigSetPlyPause, m_pPlayThread.data(),
                &CPlayThread::OnRecordPlayOrPauseSlot);
    }
    connect(ui->fullScrBox, &QCheckBox::clicked, this, &CusSliderWnd::slot_fullScrClked);
}

CusSliderWnd::~CusSliderWnd() = default;

void CusSliderWnd::ConnectWorker()
{
    CPlayThread* pWorker = m_pPlayThread.data();
    connect(ui->timeSlider, &CusSlider::SliderPosClickedSignal, pWorker,
            &CPlayThread::OnSliderPosClickedSlot);
    // The end of the slider ends the clip, and the window hears of it.
    connect(ui->timeSlider, &CusSlider::SliderEndPosSignal, pWorker, &CPlayThread::OnSliderEndSlot);
    connect(pWorker, &CPlayThread::SetRecordSliderLengthSignal, this, &CusSliderWnd::SetSliderLength);
    FollowWorkerPosition();
    connect(pWorker, &CPlayThread::RecordStartSignal, this, &CusSliderWnd::OnRecordStartSlot);
}

void CusSliderWnd::FollowWorkerPosition()
{
    connect(m_pPlayThread.data(), &CPlayThread::UpdateRecordTimeSliderSignal, this,
            &CusSliderWnd::UpdateVideoSlider);
}

void CusSliderWnd::ConnectPlayPauseClick()
{
    m_connPlyPauseClick =
        connect(ui->plyPauseBox, &QCheckBox::clicked, this, &CusSliderWnd::slot_plyPauseClked);
}

void CusSliderWnd::SetSliderLength(int length)
{
    ui->timeSlider->setMaximum(length);
    ui->totalTimeLab->setText(SliderTimeText(length));
}

void CusSliderWnd::UpdateVideoSlider(int value)
{
    MC_LOG(3, "CusSliderWnd::UpdateVideoSlider", "<%d>\t<%s>,value:%d", value);
    ui->timeSlider->setValue(value);
    ui->curTimeLab->setText(SliderTimeText(value));
}

void CusSliderWnd::OnSliderClickedSlot(int)
{
    // The operator chose a position: the worker's reports of the old one must
    // not pull the handle back until the new stream has started.
    if (m_pPlayThread) {
        disconnect(m_pPlayThread.data(), &CPlayThread::UpdateRecordTimeSliderSignal, this,
                   &CusSliderWnd::UpdateVideoSlider);
    }
}

void CusSliderWnd::OnRecordStartSlot()
{
    if (!m_pPlayThread) {
        return;
    }
    disconnect(m_pPlayThread.data(), &CPlayThread::UpdateRecordTimeSliderSignal, this,
               &CusSliderWnd::UpdateVideoSlider);
    FollowWorkerPosition();
}

void CusSliderWnd::slot_plyPauseClked()
{
    if (ui->plyPauseBox->isChecked()) {
        ui->plyPauseBox->setToolTip(QStringLiteral("暂停"));
        emit sigSetPlyPause(true);
    } else {
        ui->plyPauseBox->setToolTip(QStringLiteral("播放"));
        emit sigSetPlyPause(false);
    }
}

void CusSliderWnd::slot_fullScrClked()
{
    ui->fullScrBox->setToolTip(ui->fullScrBox->isChecked() ? QStringLiteral("取消全屏")
                                                           : QStringLiteral("全屏显示"));
    emit sigFullScrClk();
}

void CusSliderWnd::SetPlayChecked(bool bChecked)
{
    ui->plyPauseBox->setChecked(bChecked);
}

bool CusSliderWnd::IsPlayChecked() const
{
    return ui->plyPauseBox->isChecked();
}

void CusSliderWnd::SetPlayingQuietly()
{
    disconnect(m_connPlyPauseClick);
    ui->plyPauseBox->setChecked(true);
    ConnectPlayPauseClick();
}

void CusSliderWnd::SetFullScreenChecked(bool bChecked)
{
    ui->fullScrBox->setChecked(bChecked);
    ui->fullScrBox->setToolTip(bChecked ? QStringLiteral("取消全屏") : QStringLiteral("全屏显示"));
}

bool CusSliderWnd::IsFullScreenChecked() const
{
    return ui->fullScrBox->isChecked();
}

void CusSliderWnd::showEvent(QShowEvent* ev)
{
    UpdateVideoSlider(0);
    QDialog::showEvent(ev);
}

bool CusSliderWnd::HandlePlaybackKey(int nKey)
{
    switch (nKey) {
    case Qt::Key_Space:
        ui->plyPauseBox->click();
        return true;
    case Qt::Key_Left:
        SeekBy(-kSeekStepSeconds);
        return true;
    case Qt::Key_Right:
        SeekBy(kSeekStepSeconds);
        return true;
    case Qt::Key_F:
        emit sigFullScrClk();
        return true;
    default:
        return false;
    }
}

void CusSliderWnd::SeekBy(int nSeconds)
{
    CusSlider* pSlider = ui->timeSlider;
    // The last position is the clip's end, which stops it: a step lands before it.
    const int nTarget = qBound(pSlider->minimum(), pSlider->value() + nSeconds, pSlider->maximum() - 1);
    UpdateVideoSlider(nTarget);
    pSlider->SeekTo(nTarget);
}

void CusSliderWnd::keyPressEvent(QKeyEvent* ev)
{
    if (ev->modifiers() == Qt::NoModifier && HandlePlaybackKey(ev->key())) {
        return;
    }
    if (ev->key() != Qt::Key_Escape) {
        // The bar is a window of its own: what it does not take goes to the
        // module window, where the operator's keys belong (the list, say).
        QWidget* pModule = parentWidget() ? parentWidget()->window() : nullptr;
        if (pModule) {
            QWidget* pTarget = pModule->focusWidget() ? pModule->focusWidget() : pModule;
            QCoreApplication::sendEvent(pTarget, ev);
            return;
        }
        QDialog::keyPressEvent(ev);
        return;
    }
    if (ui->fullScrBox->isChecked()) {
        ui->fullScrBox->setToolTip(QStringLiteral("取消全屏"));
    }
    raise();
    emit sigFullScrClk();
    // Not the dialog's own Esc handling: that would reject and hide the bar
    // the window has just placed for the new layout.
    QWidget::keyPressEvent(ev);
}
