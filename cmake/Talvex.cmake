# Build conventions shared by every folder.
#
# Functions for the folders:
#   talvex_warnings(target)                      the project's warning set
#   talvex_add_test(name SOURCES ... LIBS ...)   one GoogleTest program, its cases in CTest
#   talvex_add_bench(name SOURCES ... LIBS ...)  one Google Benchmark program (TALVEX_BENCH)
#   talvex_windows_exports(target DEF file)      plain-named __stdcall exports of a DLL
#   talvex_link_engine(target)                   link the table engine (c4dll)
#   talvex_test_variant(target ...)              the target again, with the test seam
#
# Builds (see CMakePresets.json): native, ASan+UBSan (TALVEX_SANITIZE), -m32
# (cmake/toolchain-linux-m32.cmake), Windows i686 under wine
# (cmake/toolchain-mingw-i686.cmake) and Windows x86_64 under 64-bit wine
# (cmake/toolchain-mingw-x86_64.cmake, for machines that run no 32-bit programs).

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/static)

# Test variants (talvex_test_variant): the engine, the libraries and the
# programs linked with the test seam (platform/file_seam.h), in a folder of
# their own under the same file names. Tests and benchmarks use them.
set(TALVEX_TESTING_BIN_DIR ${CMAKE_BINARY_DIR}/testing/bin)
if(WIN32)
  set(TALVEX_TESTING_LIB_DIR ${TALVEX_TESTING_BIN_DIR})
else()
  set(TALVEX_TESTING_LIB_DIR ${CMAKE_BINARY_DIR}/testing/lib)
endif()
if(TALVEX_TESTS OR TALVEX_BENCH)
  set(TALVEX_TEST_VARIANTS ON)
else()
  set(TALVEX_TEST_VARIANTS OFF)
endif()
# TALVEX_TESTING on a target (or on its folder: tests/ and bench/ set it) links
# it with the test seam and the test variant of the engine.
define_property(TARGET PROPERTY TALVEX_TESTING INHERITED
  BRIEF_DOCS "Linked with the test seam and the test engine library")
define_property(DIRECTORY PROPERTY TALVEX_TESTING INHERITED
  BRIEF_DOCS "Targets of this folder are linked with the test seam")

option(TALVEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# A 32-bit Linux build: the installed GoogleTest and Google Benchmark are
# 64-bit, so GoogleTest comes from source and benchmarks are left out.
if(NOT WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TALVEX_M32 ON)
else()
  set(TALVEX_M32 OFF)
endif()

if(WIN32)
  # DLLs live beside the programs (Windows finds them there, and so does wine);
  # the C/C++ runtime is linked in so each DLL needs only system DLLs and
  # C4DLL.DLL. No stdcall "fixup": a caller that declares an engine function
  # with the wrong convention or arguments fails to link instead of silently
  # binding to the decorated symbol.
  set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--disable-stdcall-fixup)
endif()

if(TALVEX_SANITIZE)
  if(WIN32)
    message(FATAL_ERROR "TALVEX_SANITIZE is for the native Linux build")
  endif()
  set(_talvex_san -fsanitize=address,undefined -fno-sanitize-recover=undefined
                  -fno-omit-frame-pointer)
  add_compile_options(${_talvex_san})
  add_link_options(${_talvex_san})
endif()

# Google Benchmark is installed for the native 64-bit build only.
if(TALVEX_BENCH AND (WIN32 OR TALVEX_M32))
  message(STATUS "TALVEX_BENCH is for the native 64-bit build; benchmarks left out")
  set(TALVEX_BENCH OFF)
endif()

# A dropped [[nodiscard]] result (a failure nobody looked at) fails the build.
set(TALVEX_WARNINGS -Wall -Wextra -Wno-unused-parameter -Werror=unused-result)
# GCC 12 reports -Wrestrict inside std::string's own copies at -O2/-O3 (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND TALVEX_WARNINGS -Wno-restrict)
endif()

# talvex_warnings(target): the project's warning set.
function(talvex_warnings target)
  target_compile_options(${target} PRIVATE ${TALVEX_WARNINGS})
endfunction()

# mingw's tools, also in Linux builds, where tests use them to make small PE
# files (e.g. a program with a real version resource).
find_program(TALVEX_MINGW_CC NAMES i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc
             NO_CMAKE_FIND_ROOT_PATH)
find_program(TALVEX_MINGW_WINDRES NAMES i686-w64-mingw32-windres NO_CMAKE_FIND_ROOT_PATH)
# Import libraries are made for the machine being built (x86_64 in the
# windows64 build).
if(WIN32 AND CMAKE_DLLTOOL)
  set(TALVEX_DLLTOOL ${CMAKE_DLLTOOL})
else()
  find_program(TALVEX_DLLTOOL NAMES i686-w64-mingw32-dlltool NO_CMAKE_FIND_ROOT_PATH)
endif()

# GoogleTest: the installed 64-bit library natively; built from Debian's
# sources (/usr/src/googletest) for -m32 and for the Windows cross build.
macro(talvex_find_gtest)
  if(NOT TARGET GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING OR TALVEX_M32)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
      # Our own cache variable tells the sources apart from a stale copy.
      set(TALVEX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
      if(NOT EXISTS ${TALVEX_GTEST_SOURCE_DIR}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources missing at ${TALVEX_GTEST_SOURCE_DIR} "
                            "(Debian package googletest)")
      endif()
      add_subdirectory(${TALVEX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
      # GoogleTest 1.11 and later name these aliases themselves.
      if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
      endif()
    else()
      find_package(GTest REQUIRED)
    endif()
    include(GoogleTest)
  endif()
endmacro()

# Paths handed to tests in the environment. A Windows program under wine sees
# the Linux root as drive Z:.
function(_talvex_test_path out path)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(${out} "Z:${path}" PARENT_SCOPE)
  else()
    set(${out} "${path}" PARENT_SCOPE)
  endif()
endfunction()

# talvex_add_test(name SOURCES a.cpp ... LIBS x y): one GoogleTest program,
# registered with CTest case by case. Tests see in their environment:
#   TALVEX_SOURCE_DIR  the source tree (fixtures: tests/fixtures/...)
#   TALVEX_BIN_DIR     where programs (and on Windows the DLLs) are
#   TALVEX_LIB_DIR     where shared libraries are (Windows: same as bin)
function(talvex_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  talvex_find_gtest()
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_environment.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  talvex_warnings(${name})
  _talvex_test_path(src ${PROJECT_SOURCE_DIR})
  _talvex_test_path(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  _talvex_test_path(lib ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  target_compile_definitions(${name} PRIVATE TALVEX_TEST_SOURCE_DIR="${src}"
                             TALVEX_TEST_BIN_DIR="${bin}" TALVEX_TEST_LIB_DIR="${lib}")
  # Discovery runs the program (under wine for Windows): allow for a cold start.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES ENVIRONMENT
                       "TALVEX_SOURCE_DIR=${src};TALVEX_BIN_DIR=${bin};TALVEX_LIB_DIR=${lib}")
  set_property(GLOBAL APPEND PROPERTY TALVEX_TEST_TARGETS ${name})
endfunction()

# talvex_add_bench(name SOURCES a.cpp ... LIBS x y): one benchmark program,
# built when TALVEX_BENCH is on (native 64-bit builds only; never run by the tests).
function(talvex_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TALVEX_BENCH)
    return()
  endif()
  if(NOT TARGET benchmark::benchmark)
    find_package(benchmark REQUIRED)
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark_main)
  talvex_warnings(${name})
endfunction()

# talvex_windows_exports(target DEF file): on Windows, the DLL exports the
# functions of the .def file under their plain names. The .def names each
# __stdcall function with its argument size (Name@N) and the DLL is linked with
# --kill-at, so only "Name" is exported (no dllexport "Name@N" twin). The
# file name comes from the .def's LIBRARY line (C4DLL.DLL, tabmend.dll).
# Callers link the target as usual: their references carry the @N, and ld's
# own import library would have lost it, so the import library is made from
# the .def with dlltool --kill-at (symbols Name@N, imported as "Name") and
# replaces ld's. Elsewhere it does nothing.
function(talvex_windows_exports target)
  cmake_parse_arguments(W "" "DEF" "" ${ARGN})
  if(NOT W_DEF)
    message(FATAL_ERROR "talvex_windows_exports(${target} DEF file.def)")
  endif()
  get_filename_component(def ${W_DEF} ABSOLUTE)
  set_property(TARGET ${target} PROPERTY TALVEX_DEF_FILE ${def})
  if(NOT WIN32)
    return()
  endif()
  # x86_64 has one calling convention and no @N decoration: the names alone.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    get_filename_component(def_name ${def} NAME)
    set(def ${CMAKE_BINARY_DIR}/def64/${def_name})
    file(WRITE ${def} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${W_DEF})
  endif()
  file(STRINGS ${def} library REGEX "^LIBRARY[ \t]+")
  if(NOT library MATCHES "^LIBRARY[ \t]+\"?([^ \t\"]+)\"?")
    message(FATAL_ERROR "${def}: no LIBRARY line naming the DLL")
  endif()
  set(dll ${CMAKE_MATCH_1})
  get_filename_component(base ${dll} NAME_WE)
  get_filename_component(suffix ${dll} LAST_EXT)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${base} SUFFIX ${suffix}
                                             LINK_DEPENDS ${def})
  target_link_options(${target} PRIVATE ${def} -Wl,--kill-at)

  # A test variant keeps its import library in its own folder.
  get_target_property(implib_dir ${target} ARCHIVE_OUTPUT_DIRECTORY)
  if(NOT implib_dir)
    set(implib_dir ${CMAKE_BINARY_DIR}/lib/static)
  endif()
  set(implib ${implib_dir}/lib${base}_imports.a)
  add_custom_command(OUTPUT ${implib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${implib_dir}
    COMMAND ${TALVEX_DLLTOOL} --kill-at -d ${def} -D ${dll} -l ${implib}
    DEPENDS ${def}
    COMMENT "Import library of ${dll} (plain names)"
    VERBATIM)
  add_custom_target(${target}_implib DEPENDS ${implib})
  set_property(TARGET ${target} PROPERTY TALVEX_IMPORT_LIBRARY ${implib})
  add_dependencies(${target} ${target}_implib)
  target_link_libraries(${target} INTERFACE ${implib})
  # Where the target is our own (not the top-level fallback), ld's import
  # library is overwritten too, so nobody can bind to its undecorated symbols
  # (a caller declaring the function without __stdcall fails to link).
  get_target_property(target_dir ${target} SOURCE_DIR)
  if(target_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy ${implib} $<TARGET_LINKER_FILE:${target}>
      VERBATIM)
  endif()
endfunction()

# talvex_link_engine(target): the target calls the engine: libc4dll.so, or on
# Windows C4DLL.DLL, whose functions it imports by plain name through the
# dlltool import library (see talvex_windows_exports). Static and object
# libraries pass the link on to whoever links them. A target with
# TALVEX_TESTING (a test variant, a test, a benchmark) gets the test engine.
function(talvex_link_engine target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
    set(scope PUBLIC)
  elseif(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PRIVATE)
  endif()
  if(TALVEX_TEST_VARIANTS)
    # The choice is made for the final link; a static library's own link
    # implementation would make it for the static library itself, so it only
    # passes the link on, and takes the engine's header folder for itself.
    if(scope STREQUAL "PUBLIC")
      set(scope INTERFACE)
      target_include_directories(${target} PRIVATE
                                 $<TARGET_PROPERTY:c4dll,INTERFACE_INCLUDE_DIRECTORIES>)
    endif()
    target_link_libraries(${target} ${scope}
      "$<IF:$<BOOL:$<TARGET_PROPERTY:TALVEX_TESTING>>,c4dll_testing,c4dll>")
  else()
    target_link_libraries(${target} ${scope} c4dll)
  endif()
endfunction()

# talvex_test_variant(target [DEF file] [MAP file] [SOURCES ...]): a shared
# library or program built again from the same sources and static libraries,
# linked with the test seam (platform/file_seam.h) and the test engine, as
# <target>_testing with the same file name in testing/bin (shared libraries:
# testing/lib; Windows: testing/bin). DEF and MAP replace the target's .def
# (Windows) and version script (Linux); SOURCES are added. Call it in the
# target's folder once its sources and links are complete.
function(talvex_test_variant target)
  if(NOT TALVEX_TEST_VARIANTS)
    return()
  endif()
  cmake_parse_arguments(V "" "DEF;MAP" "SOURCES" ${ARGN})
  set(variant ${target}_testing)
  get_target_property(type ${target} TYPE)
  get_target_property(sources ${target} SOURCES)
  if(type STREQUAL "EXECUTABLE")
    add_executable(${variant} ${sources} ${V_SOURCES})
  else()
    add_library(${variant} SHARED ${sources} ${V_SOURCES})
  endif()
  foreach(prop INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES COMPILE_DEFINITIONS
               COMPILE_OPTIONS LINK_LIBRARIES CXX_VISIBILITY_PRESET VISIBILITY_INLINES_HIDDEN
               PREFIX SUFFIX OUTPUT_NAME)
    get_target_property(value ${target} ${prop})
    if(value)
      set_property(TARGET ${variant} PROPERTY ${prop} "${value}")
    endif()
  endforeach()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set_property(TARGET ${variant} PROPERTY OUTPUT_NAME ${target})
  endif()
  set_target_properties(${variant} PROPERTIES TALVEX_TESTING ON
    RUNTIME_OUTPUT_DIRECTORY ${TALVEX_TESTING_BIN_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${TALVEX_TESTING_LIB_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing/lib/static)
  # Link options, but the export files: the variant names its own.
  get_target_property(def ${target} TALVEX_DEF_FILE)
  get_target_property(options ${target} LINK_OPTIONS)
  if(NOT options)
    set(options "")
  endif()
  set(kept "")
  foreach(option IN LISTS options)
    if(option MATCHES "--version-script=" AND V_MAP)
      list(APPEND kept "-Wl,--version-script=${V_MAP}")
    elseif(NOT (def AND (option MATCHES "\\.def$" OR option STREQUAL "-Wl,--kill-at")))
      list(APPEND kept "${option}")
    endif()
  endforeach()
  set_property(TARGET ${variant} PROPERTY LINK_OPTIONS "${kept}")
  if(V_MAP)
    set_property(TARGET ${variant} APPEND PROPERTY LINK_DEPENDS ${V_MAP})
  endif()
  if(V_DEF)
    set(def ${V_DEF})
  endif()
  if(def)
    talvex_windows_exports(${variant} DEF ${def})
  endif()
  get_target_property(deps ${target} MANUALLY_ADDED_DEPENDENCIES)
  foreach(dep IN LISTS deps)
    if(TARGET ${dep}_testing)
      add_dependencies(${variant} ${dep}_testing)
    elseif(dep)
      add_dependencies(${variant} ${dep})
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY TALVEX_TEST_VARIANTS ${target})
endfunction()

# Every target of a folder and its subfolders: links to a shared library that
# has a test variant go to the variant, and the executables depend on every
# variant.
function(_talvex_use_variants dir variants)
  get_property(known DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _talvex_use_variants(${sub} "${variants}")
  endforeach()
  foreach(t IN LISTS known)
    foreach(prop LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(libs ${t} ${prop})
      if(NOT libs)
        continue()
      endif()
      set(changed "")
      foreach(lib IN LISTS libs)
        if(lib IN_LIST variants)
          list(APPEND changed ${lib}_testing)
        else()
          list(APPEND changed "${lib}")
        endif()
      endforeach()
      set_property(TARGET ${t} PROPERTY ${prop} "${changed}")
    endforeach()
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE")
      foreach(v IN LISTS variants)
        add_dependencies(${t} ${v}_testing)
      endforeach()
    endif()
  endforeach()
endfunction()

# Called by the top-level CMakeLists.txt once every folder is in: DLLs whose
# folder did not call talvex_windows_exports get their .def anyway, and the
# list of test programs is written for scripts/test, which checks that each of
# them really runs (wine can fail without a word).
function(talvex_finish)
  foreach(pair "c4dll=engine/c4dll.def" "tabmend=tabmend/tabmend.def"
               "qmrbsrst=qmrbsrst/qmrbsrst.def")
    string(REPLACE "=" ";" pair ${pair})
    list(GET pair 0 target)
    list(GET pair 1 def)
    if(TARGET ${target})
      get_target_property(done ${target} TALVEX_DEF_FILE)
      if(NOT done)
        talvex_windows_exports(${target} DEF ${PROJECT_SOURCE_DIR}/${def})
      endif()
    endif()
  endforeach()
  # Tests and benchmarks (their folders set TALVEX_TESTING) link the test
  # variants of the shared libraries instead of the shipped ones, and build
  # every variant: their children are run from TALVEX_BIN_DIR.
  get_property(variants GLOBAL PROPERTY TALVEX_TEST_VARIANTS)
  foreach(dir tests bench)
    string(TOUPPER ${dir} option)
    if(TALVEX_${option} AND EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      _talvex_use_variants(${PROJECT_SOURCE_DIR}/${dir} "${variants}")
    endif()
  endforeach()
  get_property(tests GLOBAL PROPERTY TALVEX_TEST_TARGETS)
  set(lines "")
  foreach(t IN LISTS tests)
    string(APPEND lines "$<TARGET_FILE:${t}>\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/talvex-test-programs.txt CONTENT "${lines}")
endfunction()
