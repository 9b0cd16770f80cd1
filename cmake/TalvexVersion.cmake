# The one version number of the project (project(... VERSION) in the top-level
# CMakeLists.txt), in every shipped file and package:
#   talvex_version          interface library: "talvex_version.h" with
#                           TALVEX_VERSION "X.Y.Z" and its parts
#   talvex_version_resource(target "description")
#                           on Windows, a VERSIONINFO resource in the target's
#                           file: file and product version X.Y.Z.0, the
#                           description, the original file name; elsewhere nothing
#   talvex_version_shipped_files()
#                           the resource for each file a clinic gets, and the
#                           engine's versioned soname (libc4dll.so.X)

if(NOT PROJECT_VERSION)
  message(FATAL_ERROR "the top-level project() names no VERSION")
endif()
set(TALVEX_VERSION_FOUR
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
string(REPLACE "." "," TALVEX_VERSION_COMMAS "${TALVEX_VERSION_FOUR}")

set(_talvex_version_dir ${CMAKE_BINARY_DIR}/generated/version)
file(CONFIGURE OUTPUT ${_talvex_version_dir}/talvex_version.h CONTENT
"// Generated from the top-level project() version; do not edit.
#pragma once
#define TALVEX_VERSION \"@PROJECT_VERSION@\"
#define TALVEX_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define TALVEX_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define TALVEX_VERSION_PATCH @PROJECT_VERSION_PATCH@
")
add_library(talvex_version INTERFACE)
target_include_directories(talvex_version INTERFACE ${_talvex_version_dir})

if(WIN32)
  enable_language(RC)
endif()

function(talvex_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(TALVEX_RC_FILETYPE VFT_APP)
  else()
    set(TALVEX_RC_FILETYPE VFT_DLL)
  endif()
  set(TALVEX_RC_TARGET ${target})
  set(TALVEX_RC_DESCRIPTION "${description}")
  # @...@ now; the file name once generation knows it (OUTPUT_NAME may be
  # set after this call, e.g. from a .def's LIBRARY line).
  set(dir ${CMAKE_BINARY_DIR}/generated/version)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.rc.in ${dir}/${target}.rc.in @ONLY)
  file(GENERATE OUTPUT ${dir}/${target}.rc INPUT ${dir}/${target}.rc.in)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
endfunction()

function(talvex_version_shipped_files)
  foreach(row "c4dll|Table engine (dBASE .dbf, .dbt, .mdx)"
              "tabmend|Table structure updater and maintenance"
              "qmrbsrst|Roster billing"
              "qmrsec01|User security flag update"
              "talvexhost|Companion host and installation tool")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 target)
    list(GET row 1 description)
    if(TARGET ${target})
      talvex_version_resource(${target} "${description}")
    endif()
  endforeach()
  if(TARGET c4dll AND NOT WIN32)
    set_target_properties(c4dll PROPERTIES VERSION ${PROJECT_VERSION}
                                           SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
endfunction()
