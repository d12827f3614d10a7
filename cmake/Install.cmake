# What `cmake --install` lays out in the GNU directories, in three components:
# runtime (the library, the video library it needs and the module's process),
# development (the public headers and the CMake package) and tools (the
# platform simulator and the demo host).

# The window's header and the headers its members need: a host compiles
# against the class layout, so these travel together.
set(MC_PUBLIC_HEADERS
  shell/MessageClient.h
  shell/MessageClientExport.h
  base/AlarmTypes.h
  alarms/CListCtrl.h
  base/WinTypes.h
  platform/CTagTimers.h
)
set(MC_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/MessageClient)
foreach(header ${MC_PUBLIC_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES src/${header} DESTINATION ${MC_INCLUDE_SUBDIR}/${dir} COMPONENT development)
endforeach()
install(FILES cmake/MessageClient.h DESTINATION ${MC_INCLUDE_SUBDIR} COMPONENT development)

target_include_directories(MessageClient INTERFACE
  $<INSTALL_INTERFACE:${MC_INCLUDE_SUBDIR}>)

install(TARGETS MessageClient EXPORT MessageClientTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
# The video library's own link name is of no use to a host; only the runtime
# file is installed.
install(TARGETS pavrix LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
install(TARGETS messageclient RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS platform-sim demo-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
# The demo host's module driver is loaded only on its request; kept out of the
# system's library folder so no other program finds it.
install(TARGETS module-driver LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/messageclient-tools COMPONENT tools)

include(CMakePackageConfigHelpers)
set(MC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MessageClient)
install(EXPORT MessageClientTargets NAMESPACE MessageClient:: DESTINATION ${MC_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/MessageClientConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/MessageClientConfig.cmake INSTALL_DESTINATION ${MC_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/MessageClientConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/MessageClientConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/MessageClientConfigVersion.cmake
  DESTINATION ${MC_CMAKE_DIR} COMPONENT development)
