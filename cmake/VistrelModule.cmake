# vistrel_module(NAME DIR <dir> [DEPS <targets...>])
# A static library made of every .cpp/.c below DIR, so that adding a file needs no CMake edit.
# Headers are included by their path from the repository root ("video/picture/YuvPicture.h").
function(vistrel_module name)
  cmake_parse_arguments(M "" "DIR" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${M_DIR}/*.cpp ${M_DIR}/*.c)
  if(NOT sources)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${M_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${M_DEPS} Threads::Threads)
endfunction()

# vistrel_test(NAME SOURCES <files...> [DEPS <targets...>])
# One GoogleTest executable, its cases registered with CTest one by one.
function(vistrel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPS} vistrel_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
      VISTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      VISTREL_BINARY_DIR="${PROJECT_BINARY_DIR}"
      VISTREL_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
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
  set(cpp_sources ${sources})
  list(FILTER cpp_sources INCLUDE REGEX "\\.cpp$")
  if(NOT cpp_sources)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${M_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${M_DEPS} Threads::Threads)
endfunction()

# vistrel_qt_test(NAME SOURCES <files...> [DEPS <targets...>])
# One Qt Test executable, run by CTest as one test on Qt's offscreen platform (no display needed).
function(vistrel_qt_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_DEPS} vistrel_test_support Qt6::Test Qt6::Widgets Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
      VISTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      VISTREL_BINARY_DIR="${PROJECT_BINARY_DIR}"
      VISTREL_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
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
