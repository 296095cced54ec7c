# 32-bit x86 Linux build of the unit tests, static so that qemu-i386-static
# runs it on a 64-bit kernel that cannot run 32-bit code itself. It gets the
# floating-point flags of the i686 Windows program (see CMakeLists.txt), so
# the unit tests check the arithmetic of the release build's word size.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
set(DUDORORI_UNIT_TESTS_ONLY ON CACHE BOOL "" FORCE)
