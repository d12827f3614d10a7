#include "VideoSurface.h"

#include <QEvent>
#include <QPainter>

namespace pavrix {

VideoSurface::VideoSurface(QWidget* host) : QWidget(host)
{
    setObjectName(QStringLiteral("pavrixVideoSurface"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(host->rect());
    host->installEventFilter(this);
    // Like video drawn straight into a native window: the host's own child
    // widgets stay above it.
    lower();
    show();
}

void VideoSurface::setImage(const QImage& image)
{
    m_image = image;
    update();
}

bool VideoSurface::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void VideoSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_image.isNull())
        return;
    QSize size = m_image.size();
    size.scale(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_image);
}

} // namespace pavrix
