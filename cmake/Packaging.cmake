# Debian packages from the install components: `cpack -G DEB` in the build tree.
set(CPACK_PACKAGE_NAME messageclient)
set(CPACK_PACKAGE_VENDOR "MessageClient team")
set(CPACK_PACKAGE_CONTACT "MessageClient team <messageclient@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Alarm-message centre of a video-surveillance client")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Library dependencies come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION video)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME messageclient)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Without a CJK font every text of the window renders as boxes.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "fonts-wqy-microhei")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME messageclient-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "messageclient (= ${PROJECT_VERSION}), qtbase5-dev, cmake")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME messageclient-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "messageclient (= ${PROJECT_VERSION})")

set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "The alarm-message window's library and its process")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Headers and CMake package to build a host against the window")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Platform simulator and demo host to try the module without a platform")
include(CPack)
