# Native 32-bit build on an amd64 Debian host (g++-multilib)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
# make find_* prefer i386 libraries
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB32_PATHS ON)
