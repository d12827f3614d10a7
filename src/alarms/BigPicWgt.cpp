#include "alarms/BigPicWgt.h"

BigPicWgt::BigPicWgt(QWidget* parent) : QWidget(parent) {}
