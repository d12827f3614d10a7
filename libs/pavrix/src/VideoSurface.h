// The child widget frames are painted into: fills the host window, follows its
// size, lets the host's own children and mouse handling stay on top.
#pragma once

#include <QImage>
#include <QWidget>

namespace pavrix {

class VideoSurface : public QWidget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget* host);

    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

} // namespace pavrix
