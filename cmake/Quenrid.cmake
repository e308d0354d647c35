# Shared build settings: warnings, the product's flags, GoogleTest.

# Every target of ours is warning-clean at this level, on both compilers.
function(quenrid_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Product code: no exceptions, no RTTI, small.
add_library(quenrid_product_flags INTERFACE)
target_compile_options(quenrid_product_flags INTERFACE
  -fno-exceptions -fno-rtti $<$<BOOL:${WIN32}>:-Os -ffunction-sections -fdata-sections -fno-ident>)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(quenrid_product_flags INTERFACE -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()

# GoogleTest from the distribution's sources, built with our compiler.
function(quenrid_use_googletest)
  if(TARGET gtest_main)
    return()
  endif()
  set(GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  if(NOT EXISTS "${GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found at ${GTEST_SOURCE_DIR}; run scripts/setup")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  add_subdirectory("${GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
endfunction()

# Host builds run their tests under AddressSanitizer and UBSan.
option(QUENRID_SANITIZE "Build host code with ASan and UBSan" OFF)
if(QUENRID_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
