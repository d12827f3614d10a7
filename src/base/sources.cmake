# Files of src/base.
list(APPEND MC_CORE_SOURCES
  base/CfgReader.cpp
  base/LaunchNumber.cpp
  base/LaunchValues.cpp
)
