# x64 Windows cross build: the DLL for 64-bit hosts (64-bit JVMs).
set(DSC_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
