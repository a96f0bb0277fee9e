# Cross-compiles Portelle for 64-bit Windows with Debian's mingw-w64 (posix
# thread model: GCC 12's win32 model has no std::mutex) and runs the test
# programs under Wine.
#
# PORTELLE_WINDOWS_DEPS names the folder the dependencies were installed into
# by cmake/windows/build-deps.sh; it is the only place libraries and headers
# are looked for, so that nothing is taken from the Linux system by mistake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT PORTELLE_WINDOWS_DEPS AND DEFINED ENV{PORTELLE_WINDOWS_DEPS})
  set(PORTELLE_WINDOWS_DEPS "$ENV{PORTELLE_WINDOWS_DEPS}")
endif()
# Try-compile projects see only the variables listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PORTELLE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PORTELLE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(PORTELLE_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${PORTELLE_WINDOWS_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# Static programs need no runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
