# Cross-compiling for 64-bit Windows with mingw-w64 (posix thread model), and
# running the results under Wine with a private prefix in the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
find_program(LORVANE_MINGW_CC ${triple}-gcc-posix)
find_program(LORVANE_MINGW_CXX ${triple}-g++-posix)
find_program(LORVANE_MINGW_RC ${triple}-windres)
if(NOT LORVANE_MINGW_CC OR NOT LORVANE_MINGW_CXX OR NOT LORVANE_MINGW_RC)
  message(FATAL_ERROR "mingw-w64 (posix) compilers not found: install g++-mingw-w64-x86-64-posix (scripts/bootstrap)")
endif()
set(CMAKE_C_COMPILER ${LORVANE_MINGW_CC})
set(CMAKE_CXX_COMPILER ${LORVANE_MINGW_CXX})
set(CMAKE_RC_COMPILER ${LORVANE_MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No runtime DLLs of the compiler's to ship: libgcc, libstdc++ and winpthread
# are linked in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

find_program(LORVANE_WINE wine)
if(NOT LORVANE_WINE)
  message(FATAL_ERROR "wine not found: the Windows tests run under Wine (scripts/bootstrap)")
endif()
get_filename_component(lorvane_source_dir ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${lorvane_source_dir}/scripts/wine-run;${CMAKE_BINARY_DIR}/wine)
