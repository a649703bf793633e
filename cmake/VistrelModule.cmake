# The library of a module: STATIC over `sources`, or INTERFACE (headers only) when there are no
# .cpp files among them. Headers are included by their path from the repository root.
function(_vistrel_library name sources deps)
  set(cpp_sources ${sources})
  list(FILTER cpp_sources INCLUDE REGEX "\\.(cpp|c)$")
  if(NOT cpp_sources)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${deps})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${deps} Threads::Threads)
endfunction()

# A test program: the repository root on its include path and the folders tests find their data in.
function(_vistrel_test_executable name sources deps)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${deps} Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
      VISTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      VISTREL_BINARY_DIR="${PROJECT_BINARY_DIR}"
      VISTREL_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
endfunction()

# vistrel_module(NAME DIR <dir> [DEPS <targets...>])
# A static library made of every .cpp/.c below DIR, so that adding a file needs no CMake edit.
# Headers are included by their path from the repository root ("video/picture/YuvPicture.h").
function(vistrel_module name)
  cmake_parse_arguments(M "" "DIR" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${M_DIR}/*.cpp ${M_DIR}/*.c)
  _vistrel_library(${name} "${sources}" "${M_DEPS}")
endfunction()

# vistrel_test(NAME SOURCES <files...> [DEPS <targets...>])
# One GoogleTest executable, its cases registered with CTest one by one.
function(vistrel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  _vistrel_test_executable(${name} "${T_SOURCES}"
      "${T_DEPS};vistrel_test_support;GTest::gtest;GTest::gtest_main")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900)
endfunction()

# vistrel_qt_module(NAME DIR <dir> [DEPS <targets...>] [EXCLUDE <regex>])
# Like vistrel_module for code that uses Qt: moc runs on its headers.
function(vistrel_qt_module name)
  cmake_parse_arguments(M "" "DIR;EXCLUDE" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${M_DIR}/*.cpp ${M_DIR}/*.h)
  if(M_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${M_EXCLUDE}")
  endif()
  _vistrel_library(${name} "${sources}" "${M_DEPS}")
  get_target_property(type ${name} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# vistrel_qt_test(NAME SOURCES <files...> [DEPS <targets...>])
# One Qt Test executable, run by CTest as one test on Qt's offscreen platform (no display needed).
function(vistrel_qt_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  _vistrel_test_executable(${name} "${T_SOURCES}" "${T_DEPS};vistrel_test_support;Qt6::Test;Qt6::Widgets")
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false")
endfunction()

# vistrel_test_at_c_level(TARGET)
# Runs a whole test program once more with the plain C kernels (VISTREL_CPU=c), so that results
# checked against outside references hold at every CPU level, not only at the machine's best.
function(vistrel_test_at_c_level target)
  add_test(NAME ${target}_at_c_level COMMAND ${target})
  set_tests_properties(${target}_at_c_level PROPERTIES TIMEOUT 900 ENVIRONMENT "VISTREL_CPU=c")
endfunction()
