#include "playback/CEscTipWnd.h"

CEscTipWnd::CEscTipWnd(QWidget* parent) : QWidget(parent) {}
