# What ships: the target of toolchain-win32.cmake with mingw's win32 thread model
# (no winpthreads in the DLL; the product uses no std::thread or std::mutex).
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-win32.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
