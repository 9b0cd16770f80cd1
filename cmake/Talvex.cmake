# Build conventions shared by every folder.

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/static)

if(WIN32)
  # DLLs live beside the programs; link the C/C++ runtime in so each DLL needs
  # only system DLLs and C4DLL.DLL.
  set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

set(TALVEX_WARNINGS -Wall -Wextra -Wno-unused-parameter)

# talvex_warnings(target): the project's warning set.
function(talvex_warnings target)
  target_compile_options(${target} PRIVATE ${TALVEX_WARNINGS})
endfunction()

# GoogleTest: the installed 64-bit library natively, built from source for
# -m32 and cross builds.
macro(talvex_find_gtest)
  if(NOT TARGET GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING OR TALVEX_M32)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    else()
      find_package(GTest REQUIRED)
    endif()
  endif()
endmacro()

# talvex_add_test(name SOURCES a.cpp ... LIBS x y): one GoogleTest program,
# registered with CTest test by test.
function(talvex_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  talvex_warnings(${name})
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "TALVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
