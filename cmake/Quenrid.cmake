# Shared build settings: warnings, the product's flags, GoogleTest.

# Every target of ours is warning-clean at this level, on both compilers.
function(quenrid_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Product code: no exceptions, no RTTI, small. For Windows it is optimised
# for size before speed (-Oz: the stub waits on the file system, not on its
# own instructions), one section per function and datum so that the link
# drops what a program never reaches, and without the compiler's ident strings.
# A target compiled as one whole program (the stub) sets the property
# QUENRID_WHOLE_PROGRAM: the compiler drops what it does not reach, and a
# section per function would only pad every function to 4 bytes.
add_library(quenrid_product_flags INTERFACE)
target_compile_options(quenrid_product_flags INTERFACE
  -fno-exceptions -fno-rtti
  $<$<BOOL:${WIN32}>:-Oz -fno-ident>
  $<$<AND:$<BOOL:${WIN32}>,$<NOT:$<BOOL:$<TARGET_PROPERTY:QUENRID_WHOLE_PROGRAM>>>>:-ffunction-sections -fdata-sections>)
# On i686, nothing reads DWARF unwind tables in a program without exceptions
# (the exception guard there uses the fs:[0] chain), and nothing walks its
# stack by frame pointers: the i686 MinGW compiler keeps them by default, at
# a push, a move and a pop in every function and an %ebp-based address for
# every local, so they are left out (a function that needs one, as the
# guard's with __builtin_setjmp does, still gets it). Windows itself keeps
# the i686 stack only 4-byte aligned, which is all that code without SSE
# needs; keeping it 16-byte aligned would cost an adjustment around calls.
# For the same reason tables and strings get only the alignment of their
# type, not the 32 bytes that GCC gives larger arrays for vector loads.
# The x86-64 build keeps its unwind tables: its guard's handler is found
# through them.
#
# Windows commits a thread's stack a page at a time behind a guard page, so a
# frame larger than a page must be touched page by page. GCC does that by
# calling a probe routine from frames of about 4000 bytes up, and to make it
# possible it reserves every call's arguments in the prologue instead of
# pushing them, which makes every call site larger. No frame of the product
# comes near a page: the probe is switched off, and a frame over 3.5 KiB, a
# variable-length array or alloca fails the build instead.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(quenrid_product_flags INTERFACE
    -fno-asynchronous-unwind-tables -fno-unwind-tables -fomit-frame-pointer
    -mpreferred-stack-boundary=2 -malign-data=abi
    -mno-stack-arg-probe -Werror=frame-larger-than=3584 -Werror=vla -Werror=alloca)
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
