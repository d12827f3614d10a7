// Finds a visible widget of the module by object names, as the demo and the
// tests name them: "name", "parent/name" (a descendant of the parent), and any
// step with "#N" for the N-th visible match in reading order (top to bottom,
// then left to right on the screen), e.g. "AlarmWnd#2" or
// "CalendarWnd/radioButton#3".
#pragma once

#include <QString>

class QWidget;

namespace WidgetPath {

// The widget, or null with the reason in error.
QWidget* find(const QString& path, QString* error = nullptr);

} // namespace WidgetPath
