#include "alarms/CListCtrl.h"

CListCtrl::CListCtrl(QWidget* parent) : QListWidget(parent) {}
