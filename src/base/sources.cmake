# Files of src/base.
list(APPEND MC_CORE_SOURCES
  base/CSaveTarget.cpp
  base/CfgReader.cpp
  base/LaunchNumber.cpp
  base/LaunchValues.cpp
)
