// Playback control bar laid over the record area. Its controls arrive with the playback controls; for now it
// only carries its signal.
#pragma once

#include <QWidget>

class CPlayThread;
class CusSliderWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CusSliderWnd(CPlayThread* pPlayThread, QWidget* parent);

signals:
    void sigFullScrClk();

private:
    CPlayThread* m_pPlayThread = nullptr;
};
