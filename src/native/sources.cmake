# Files of src/native, appended to the core library.
list(APPEND MC_CORE_SOURCES
  native/CHostEmbedding.cpp
  native/CHostFrame.cpp
  native/CHostLink.cpp
  native/CrashApi.cpp
  native/ModulePath.cpp
  native/LocalAddress.cpp
)
