# Files of src/alarms, appended to the core library.
list(APPEND MC_CORE_SOURCES
  alarms/BigPicWgt.cpp
  alarms/CAlarmMsgWnd.cpp
  alarms/CAlarmMsgParser.cpp
  alarms/CListCtrl.cpp
)
