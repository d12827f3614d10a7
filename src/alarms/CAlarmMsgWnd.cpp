#include "alarms/CAlarmMsgWnd.h"

CAlarmMsgWnd::CAlarmMsgWnd(QWidget* parent) : QWidget(parent) {}
