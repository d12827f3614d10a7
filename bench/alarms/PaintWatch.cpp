#include "PaintWatch.h"

#include "BenchClock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace {

const char* const kSurfaceName = "pavrixVideoSurface";

} // namespace

PaintWatch::PaintWatch(QWidget* recordArea, QObject* parent) : QObject(parent), m_recordArea(recordArea)
{
    QCoreApplication::instance()->installEventFilter(this);
}

PaintWatch::~PaintWatch()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void PaintWatch::arm()
{
    m_old.clear();
    if (m_recordArea) {
        for (QObject* surface : m_recordArea->findChildren<QWidget*>(kSurfaceName)) {
            m_old.insert(surface);
        }
    }
    m_surface = nullptr;
    m_paintedMs = 0.0;
    m_paints = 0;
}

bool PaintWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint || m_old.contains(watched) || watched->objectName() != kSurfaceName ||
        watched->parent() != m_recordArea) {
        return false;
    }
    if (!m_surface) {
        m_surface = watched;
        m_paintedMs = nowMs();
    }
    if (watched == m_surface) {
        ++m_paints;
    }
    return false;
}
