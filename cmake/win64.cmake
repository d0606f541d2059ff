# 64-bit Windows (x86_64): the installer that 64-bit Windows needs.
set(QELVARO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
