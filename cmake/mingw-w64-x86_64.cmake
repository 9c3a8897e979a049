# Cross-compiling the Windows program with Debian's MinGW-w64 toolchain (g++-mingw-w64-x86-64):
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VREK_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model: its C++ library has std::mutex and std::thread, which GoogleTest needs
# and the win32 model of GCC 12 lacks; winpthread is linked in statically like the rest.
set(CMAKE_C_COMPILER ${VREK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VREK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VREK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VREK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# What a user copies is UpVrek.exe and PinYin.dll: no libgcc, libstdc++ or winpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# GCC 12 warns of overlapping copies inside std::string where there are none (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
