// Notices the first painting of the video library's picture surface in the
// record area after it is armed: the moment the operator sees the clip.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>

class PaintWatch : public QObject
{
    Q_OBJECT
public:
    explicit PaintWatch(QWidget* recordArea, QObject* parent = nullptr);
    ~PaintWatch() override;

    // From now on; surfaces already there (an earlier clip's) do not count.
    void arm();
    bool painted() const { return m_paintedMs > 0.0; }
    double paintedMs() const { return m_paintedMs; }
    // Paintings of the newest surface since arm().
    int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_recordArea;
    QSet<QObject*> m_old;
    QObject* m_surface = nullptr;
    double m_paintedMs = 0.0;
    int m_paints = 0;
};
