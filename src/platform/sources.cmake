# Files of src/platform, appended to the core library.
list(APPEND MC_CORE_SOURCES
  platform/CHttpClient.cpp
  platform/PopupListWgt.cpp
)
