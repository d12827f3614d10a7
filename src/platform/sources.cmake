# Files of src/platform, appended to the core library.
list(APPEND MC_CORE_SOURCES
  platform/CCamDirectory.cpp
  platform/CHttpClient.cpp
  platform/CJasonParse.cpp
  platform/CPlatformRequest.cpp
  platform/CSafeJson.cpp
  platform/CTagTimers.cpp
  platform/CTokenRefresh.cpp
  platform/PermissionTable.cpp
  platform/PopupListWgt.cpp
)
