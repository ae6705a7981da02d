# Cross build of the Windows product with MinGW-w64 (posix thread model, so
# std::thread and friends work; the runtime is linked statically so the .exe
# starts on a bare Windows or Wine without extra DLLs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw_prefix x86_64-w64-mingw32)
find_program(MINGW_CXX ${_mingw_prefix}-g++-posix)
find_program(MINGW_CC ${_mingw_prefix}-gcc-posix)
find_program(MINGW_RC ${_mingw_prefix}-windres)
if(NOT MINGW_CXX OR NOT MINGW_CC)
    message(FATAL_ERROR "MinGW-w64 cross compiler (${_mingw_prefix}-g++-posix) not found: "
                        "install g++-mingw-w64-x86-64-posix (scripts/bootstrap.sh does).")
endif()
if(NOT MINGW_RC)
    message(FATAL_ERROR "${_mingw_prefix}-windres not found: install binutils-mingw-w64-x86-64 "
                        "(scripts/bootstrap.sh does).")
endif()

set(CMAKE_C_COMPILER ${MINGW_CC})
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER ${MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
