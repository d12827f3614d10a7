# Files of src/alarms, appended to the core library.
list(APPEND MC_CORE_SOURCES
  alarms/BigPicWgt.cpp
  alarms/BigPicWgt.h
  alarms/BigPicWgt.ui
  alarms/CPasswdInputWnd.cpp
  alarms/CPasswdInputWnd.h
  alarms/CPasswdInputWnd.ui
  alarms/AlarmShared.cpp
  alarms/CAlarmMsgWnd.cpp
  alarms/CAlarmMsgWnd.h
  alarms/CAlarmMsgWnd.ui
  alarms/CPicFetcher.cpp
  alarms/CPicJob.cpp
  alarms/CPicLoad.cpp
  alarms/CSnapCache.cpp
  alarms/CValidateCode.cpp
  alarms/CAlarmMsgParser.cpp
  alarms/CListCtrl.cpp
  alarms/CMsgListQuery.cpp
  alarms/CMsgPager.cpp
  alarms/CPicCodeFlow.cpp
)
