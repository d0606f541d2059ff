# Debian's libdeflate sources, fetched with `apt-get source` into the build folder at
# configure time (scripts/deps.sh enables the deb-src entries) and compiled with the
# cross compiler. Defines the target qelvaro_libdeflate.
set(_ld_root "${CMAKE_BINARY_DIR}/third_party/libdeflate-src")
file(GLOB _ld_dirs LIST_DIRECTORIES true "${_ld_root}/libdeflate-*")
list(FILTER _ld_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
if(NOT _ld_dirs)
  file(MAKE_DIRECTORY "${_ld_root}")
  message(STATUS "Fetching Debian's libdeflate sources into ${_ld_root}")
  execute_process(COMMAND apt-get source -qq libdeflate
                  WORKING_DIRECTORY "${_ld_root}"
                  RESULT_VARIABLE _ld_rc OUTPUT_VARIABLE _ld_out ERROR_VARIABLE _ld_out)
  file(GLOB _ld_dirs LIST_DIRECTORIES true "${_ld_root}/libdeflate-*")
  list(FILTER _ld_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
  if(NOT _ld_rc EQUAL 0 OR NOT _ld_dirs)
    message(FATAL_ERROR "apt-get source libdeflate failed (${_ld_rc}): ${_ld_out}\n"
                        "Run scripts/deps.sh (it enables deb-src) and apt-get update.")
  endif()
endif()
list(GET _ld_dirs 0 _ld_src)

add_library(qelvaro_libdeflate STATIC
  ${_ld_src}/lib/deflate_compress.c
  ${_ld_src}/lib/deflate_decompress.c
  ${_ld_src}/lib/crc32.c
  ${_ld_src}/lib/utils.c
  ${_ld_src}/lib/x86/cpu_features.c
  ${_ld_src}/lib/arm/cpu_features.c)
target_include_directories(qelvaro_libdeflate SYSTEM PUBLIC ${_ld_src})
# Their code, their warnings: keep our build output about our code.
target_compile_options(qelvaro_libdeflate PRIVATE -O2 -w)
