#include "widgets/CusCalendarWnd.h"

CusCalendarWnd::CusCalendarWnd(QWidget* parent) : QWidget(parent) {}
