#include "StallMeter.h"

#include "BenchClock.h"

#include <algorithm>

StallMeter::StallMeter(int intervalMs, QObject* parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
}

void StallMeter::start()
{
    m_lastTickMs = nowMs();
    m_timer.start();
}

void StallMeter::stop()
{
    m_timer.stop();
    m_open = false;
}

void StallMeter::openWindow()
{
    m_windowStartMs = nowMs();
    m_maxGapMs = 0.0;
    m_markMs = 0.0;
    m_maxSinceMarkMs = 0.0;
    m_open = true;
}

void StallMeter::mark()
{
    tick();
    m_markMs = nowMs();
}

double StallMeter::closeWindow()
{
    tick();
    m_open = false;
    return m_maxGapMs;
}

void StallMeter::tick()
{
    const double now = nowMs();
    if (m_open) {
        m_maxGapMs = std::max(m_maxGapMs, now - std::max(m_lastTickMs, m_windowStartMs));
        if (m_markMs > 0.0) {
            m_maxSinceMarkMs = std::max(m_maxSinceMarkMs, now - std::max(m_lastTickMs, m_markMs));
        }
    }
    m_lastTickMs = now;
}
