# Cross-builds the Windows program with Debian's mingw-w64 (posix thread model, for
# std::thread and std::mutex) and runs its tests through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine64 itself, not the /usr/bin/wine wrapper, which complains about a missing wine32.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
# Fully static: without -static the posix runtime still needs libwinpthread-1.dll, and a
# missing DLL makes wine exit with 53 and no message.
add_link_options(-static -static-libgcc -static-libstdc++)
