# Shared by the libFuzzer executables (fuzz/) and the replay (tests/fuzz/).
set(VISTREL_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
file(GLOB VISTREL_FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS ${VISTREL_FUZZ_DIR}/targets/*.cpp)
set(VISTREL_FUZZ_SUPPORT_SOURCES
    ${VISTREL_FUZZ_DIR}/CodecLibrary.cpp
    ${VISTREL_FUZZ_DIR}/FuzzRegistry.cpp
    ${VISTREL_FUZZ_DIR}/FuzzSupport.cpp
    ${VISTREL_FUZZ_DIR}/KeptBlocksMemory.cpp
    ${PROJECT_SOURCE_DIR}/cli/DvrArguments.cpp)
# The profile reader is plain C++ over bytes; it is fuzzed once it is in the tree.
file(GLOB VISTREL_FUZZ_PROFILE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/profile/*.cpp)
if(NOT VISTREL_FUZZ_PROFILE_SOURCES)
  list(FILTER VISTREL_FUZZ_TARGET_SOURCES EXCLUDE REGEX "/profile_reader\\.cpp$")
endif()
list(APPEND VISTREL_FUZZ_SUPPORT_SOURCES ${VISTREL_FUZZ_PROFILE_SOURCES})

function(vistrel_fuzz_link target)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/kvrlib/include)
  target_link_libraries(${target} PRIVATE vistrel_stream vistrel_video kvrlib vistrel_platform Threads::Threads)
endfunction()
