# Files of src/playback, appended to the core library.
list(APPEND MC_CORE_SOURCES
  playback/ButLblWgt.cpp
  playback/ButLblWgt.h
  playback/ButLblWgt.ui
  playback/CClipSaveBar.cpp
  playback/CClipSaveBar.h
  playback/CClipSaveBar.ui
  playback/CClipSaver.cpp
  playback/CClipWriter.cpp
  playback/CEscTipWnd.cpp
  playback/CPlayThread.cpp
  playback/CPlayErrorText.cpp
  playback/CRecordTable.cpp
  playback/CVideoSdk.cpp
  playback/CusSlider.cpp
  playback/CusSliderWnd.cpp
  playback/CusSliderWnd.h
  playback/CusSliderWnd.ui
)
