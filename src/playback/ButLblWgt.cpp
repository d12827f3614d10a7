#include "playback/ButLblWgt.h"

ButLblWgt::ButLblWgt(QWidget* parent) : QWidget(parent) {}
