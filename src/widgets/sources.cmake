# Files of src/widgets, appended to the core library.
list(APPEND MC_CORE_SOURCES
  widgets/CusCalendarWnd.cpp
)
