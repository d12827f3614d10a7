# Files of src/playback, appended to the core library.
list(APPEND MC_CORE_SOURCES
  playback/ButLblWgt.cpp
  playback/CEscTipWnd.cpp
  playback/CPlayThread.cpp
  playback/CPlayErrorText.cpp
  playback/CRecordTable.cpp
  playback/CVideoSdk.cpp
  playback/CusSliderWnd.cpp
)
