# Warnings and Qt strictness shared by the project's targets.
#
# mc_warnings: the warnings every target builds with (errors with MC_WERROR).
# mc_common_config: those plus the Qt defines that make every crossing between
# 8-bit strings and QString explicit (fromUtf8, fromLocal8Bit, QStringLiteral,
# toUtf8, ...) and make signal connections that would narrow a value fail.
#
# mc_apply_common_config(), called at the end of the top-level list, links every
# compiled target of the project privately (nothing leaks into a user of an
# installed library): the product and tools with mc_common_config, the tests
# and benchmarks, which write their literal texts freely, with mc_warnings.
add_library(mc_warnings INTERFACE)
target_compile_options(mc_warnings INTERFACE
  -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual $<$<BOOL:${MC_WERROR}>:-Werror>)

add_library(mc_common_config INTERFACE)
target_link_libraries(mc_common_config INTERFACE mc_warnings)
target_compile_definitions(mc_common_config INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

function(mc_apply_common_config dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${dir})
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      if(rel MATCHES "^(tests|bench)")
        target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:mc_warnings>)
      else()
        target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:mc_common_config>)
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    mc_apply_common_config(${subdir})
  endforeach()
endfunction()
