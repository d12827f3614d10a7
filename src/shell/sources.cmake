# Files of src/shell, appended to the core library.
list(APPEND MC_CORE_SOURCES
  shell/MessageClient.cpp
  shell/MessageClientDetail.cpp
  shell/MessageClientSave.cpp
  shell/MessageClient.h
  shell/MessageClient.ui
  shell/ProcessEnd.cpp
)
