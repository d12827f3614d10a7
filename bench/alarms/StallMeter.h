// The longest event-loop stall inside a window of time: a 5 ms precise timer
// whose ticks come late exactly as long as the GUI thread is held up.
#pragma once

#include <QObject>
#include <QTimer>

class StallMeter : public QObject
{
    Q_OBJECT
public:
    explicit StallMeter(int intervalMs = 5, QObject* parent = nullptr);

    void start();
    void stop();
    // Starts a window now; gaps before it do not count.
    void openWindow();
    // Ends the window and returns its longest gap between ticks (the time
    // since the last tick included), in ms.
    double closeWindow();
    // Splits the open window: gaps from now on also count towards
    // maxSinceMark(), which is what closeWindow() left for the later part.
    void mark();
    double maxSinceMark() const { return m_maxSinceMarkMs; }
    bool isOpen() const { return m_open; }

private:
    void tick();

    QTimer m_timer;
    double m_lastTickMs = 0.0;
    double m_windowStartMs = 0.0;
    double m_maxGapMs = 0.0;
    double m_markMs = 0.0;
    double m_maxSinceMarkMs = 0.0;
    bool m_open = false;
};
