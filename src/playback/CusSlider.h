// Slider of the playback bar: a press anywhere on the groove jumps there at
// once (no paging), and both press and release report the position so that
// the worker seeks, or stops when the position is the clip's end.
#pragma once

#include <QSlider>

class CusSlider : public QSlider
{
    Q_OBJECT
public:
    explicit CusSlider(QWidget* parent = nullptr);

    // Slider value under x for a groove of nWidth pixels, truncated toward
    // zero and kept inside [nMin, nMax].
    static int ValueAt(int nMin, int nMax, int x, int nWidth);
    // Moves the handle to value and reports it as a press there would.
    void SeekTo(int value);

signals:
    void SliderPosClickedSignal(int value);
    void SliderEndPosSignal();

protected:
    void mousePressEvent(QMouseEvent* ev) override;
    void mouseReleaseEvent(QMouseEvent* ev) override;

private:
    void ReportPosition();
};
