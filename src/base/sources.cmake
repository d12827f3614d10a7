# Files of src/base.
list(APPEND MC_CORE_SOURCES
  base/CLaunchString.cpp
  base/CSaveTarget.cpp
  base/CfgReader.cpp
  base/LaunchNumber.cpp
  base/LaunchValues.cpp
)
