# Files of src/push, appended to the core library.
list(APPEND MC_CORE_SOURCES
  push/CTcpConnect.cpp
  push/CPushChannel.cpp
  push/CPushMsgAssembler.cpp
)
