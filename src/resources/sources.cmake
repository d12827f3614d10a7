# Files of src/resources, appended to the core library.
list(APPEND MC_CORE_SOURCES resources/skin.qrc)
