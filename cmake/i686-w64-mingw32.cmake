# 32-bit Windows cross build: the DLL for 32-bit hosts (32-bit JVMs).
set(DSC_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
