#include "playback/CusSliderWnd.h"

CusSliderWnd::CusSliderWnd(CPlayThread* pPlayThread, QWidget* parent)
    : QWidget(parent), m_pPlayThread(pPlayThread)
{
}
