#include "FrameRenderer.h"

#include "SdkLog.h"
#include "VideoSurface.h"

#include <QApplication>
#include <QImage>
#include <QPointer>

#include <atomic>
#include <mutex>

namespace pavrix {

struct FrameRenderer::Target
{
    WId windowId = 0;
    std::atomic<bool> dead{false};
    std::atomic<bool> closed{false};

    std::mutex mutex;
    QImage latest;
    bool posted = false;

    QPointer<VideoSurface> surface; // GUI thread only

    void showLatest();
    void removeSurface();
};

namespace {

QApplication* guiApplication()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

} // namespace

void FrameRenderer::Target::showLatest()
{
    QImage image;
    {
        std::lock_guard<std::mutex> lock(mutex);
        image = std::move(latest);
        latest = QImage();
        posted = false;
    }
    if (closed || image.isNull())
        return;
    if (!surface) {
        QWidget* host = QWidget::find(windowId);
        if (!host) {
            PVX_WARN("window %llu is not a widget of this process; frames are not painted",
                     static_cast<unsigned long long>(windowId));
            dead = true;
            return;
        }
        surface = new VideoSurface(host); // owned by host
    }
    surface->setImage(image);
}

void FrameRenderer::Target::removeSurface()
{
    if (surface)
        surface->deleteLater();
}

FrameRenderer::FrameRenderer(unsigned long long windowId) : m_target(std::make_shared<Target>())
{
    m_target->windowId = static_cast<WId>(windowId);
    if (windowId == 0 || !guiApplication())
        m_target->dead = true;
}

FrameRenderer::~FrameRenderer()
{
    m_target->closed = true;
    QApplication* app = guiApplication();
    if (!app || m_target->dead)
        return;
    auto target = m_target;
    QMetaObject::invokeMethod(
        app, [target] { target->removeSurface(); }, Qt::QueuedConnection);
}

bool FrameRenderer::active() const
{
    return !m_target->dead && !m_target->closed;
}

void FrameRenderer::present(const std::string& jpeg)
{
    if (!active())
        return;
    QApplication* app = guiApplication();
    if (!app)
        return;
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()))) {
        PVX_DEBUG("frame of %zu bytes does not decode as a picture", jpeg.size());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_target->mutex);
        m_target->latest = std::move(image);
        if (m_target->posted)
            return;
        m_target->posted = true;
    }
    auto target = m_target;
    QMetaObject::invokeMethod(
        app, [target] { target->showLatest(); }, Qt::QueuedConnection);
}

} // namespace pavrix
