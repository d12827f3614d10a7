# Files of src/widgets, appended to the core library.
list(APPEND MC_CORE_SOURCES
  widgets/CMsgBox.cpp
  widgets/CMsgBox.ui
  widgets/CTipMsg.cpp
  widgets/CTipMsg.ui
  widgets/CusCalendarWnd.cpp
  widgets/CusCalendarWnd.ui
)
