#include "playback/CusSlider.h"

#include <QMouseEvent>

#include <cmath>

CusSlider::CusSlider(QWidget* parent) : QSlider(parent) {}

int CusSlider::ValueAt(int nMin, int nMax, int x, int nWidth)
{
    // A groove that has not been laid out yet has no positions: stay at the start.
    if (nWidth <= 0 || nMax <= nMin) {
        return nMin;
    }
    const double dValue = nMin + static_cast<double>(nMax - nMin) * x / nWidth;
    const double dTruncated = std::trunc(dValue);
    if (dTruncated <= nMin) {
        return nMin;
    }
    if (dTruncated >= nMax) {
        return nMax;
    }
    return static_cast<int>(dTruncated);
}

void CusSlider::mousePressEvent(QMouseEvent* ev)
{
    QSlider::mousePressEvent(ev);
    // The handle jumps under the cursor; paging on from there while the
    // button is held would carry it past the chosen point.
    setRepeatAction(QAbstractSlider::SliderNoAction);
    setValue(ValueAt(minimum(), maximum(), ev->pos().x(), width()));
    ReportPosition();
}

void CusSlider::SeekTo(int value)
{
    setValue(value);
    ReportPosition();
}

void CusSlider::mouseReleaseEvent(QMouseEvent* ev)
{
    // A drag seeks once more where it ends.
    ReportPosition();
    QSlider::mouseReleaseEvent(ev);
}

void CusSlider::ReportPosition()
{
    if (value() == maximum()) {
        emit SliderEndPosSignal();
    } else {
        emit SliderPosClickedSignal(value());
    }
}
