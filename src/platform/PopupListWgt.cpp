#include "platform/PopupListWgt.h"

PopupListWgt::PopupListWgt(QWidget* parent) : QWidget(parent) {}
