# Cross-building the Windows edition (64-bit) on Linux with mingw-w64's POSIX-threads compilers,
# which give the C++ library its std::thread, std::mutex and std::condition_variable.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SARVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SARVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SARVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SARVIK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${SARVIK_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${SARVIK_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "index of archives")

set(CMAKE_FIND_ROOT_PATH /usr/${SARVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and the plug-in carry their own C and C++ runtimes and the threads library, so
# that nothing but Windows itself has to stand beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows 7 and later: the WinINet and COM calls the plug-in makes are all there.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
