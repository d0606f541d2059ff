# qelvaro.exe list and backup --image under Wine, on the demo image (laid out here by
# scripts/demo-image.sh): the same list and the same tree as the Linux build gives
# (the golden files its tests hold it to); then bad hives of the corpus.
#   cmake -DRUNNER=... -DEXE=... -DSCRIPT=demo-image.sh -DWORK=dir -DCORPUS=dir -DGOLDEN=dir -P image-wine.cmake
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND "${SCRIPT}" "${WORK}/image" RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "demo-image.sh failed")
endif()

function(run_list root expected_code pattern)
  string(REPLACE "/" "\\" dos "Z:${root}")
  execute_process(COMMAND "${RUNNER}" "${EXE}" list --image "${dos}"
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}${err}")
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "list --image ${dos} ended with ${code}, not ${expected_code}")
  endif()
  string(FIND "${out}${err}" "${pattern}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "list --image ${dos} does not say: ${pattern}")
  endif()
endfunction()

# Wine 8 answers RegLoadAppKeyW with success and a handle that is no key; the hives
# are then read by our own reader, which must give what hivex gives on Linux.
string(REPLACE "/" "\\" image "Z:${WORK}/image")
execute_process(COMMAND "${RUNNER}" "${EXE}" list --image "${image}" --json
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${err}")
string(REPLACE "\r\n" "\n" out "${out}")
file(READ "${GOLDEN}/demo-image-list.json" expected)
if(NOT code EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "list --image ended with ${code} and printed:\n${out}")
endif()

file(MAKE_DIRECTORY "${WORK}/backup")
string(REPLACE "/" "\\" to "Z:${WORK}/backup")
execute_process(COMMAND "${RUNNER}" "${EXE}" backup --image "${image}" --to "${to}"
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
file(GLOB_RECURSE files RELATIVE "${WORK}/backup" "${WORK}/backup/*")
list(SORT files)
set(listing "")
foreach(f IN LISTS files)
  string(APPEND listing "./${f}\n")
endforeach()
file(READ "${GOLDEN}/demo-image-backup-tree.txt" expected)
if(NOT code EQUAL 0 OR NOT listing STREQUAL expected)
  message(FATAL_ERROR "backup --image ended with ${code}; its tree:\n${listing}")
endif()

# verify under Wine gives the words of the Linux build: crypt32 checks the catalogs' RSA
# signatures, the content digest and the file hashes are our own. A file changed after
# signing, with SHA256SUMS rewritten to match it, is caught by its catalog alone.
function(run_verify expected_code pattern)
  execute_process(COMMAND "${RUNNER}" "${EXE}" verify "${to}\\Quorvak"
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(FIND "${out}" "${pattern}" at)
  if(NOT code EQUAL expected_code OR at EQUAL -1)
    message(FATAL_ERROR "verify ended with ${code}, not ${expected_code}, without saying ${pattern}:\n${out}${err}")
  endif()
endfunction()
run_verify(0 "5 drivers' signatures checked against their catalogs: publisher 5\n")
set(sys "${WORK}/backup/Quorvak/Display/Qelvaro Demo Graphics Adapter/qvdisp.sys")
file(APPEND "${sys}" "x")
file(SHA256 "${sys}" sum)
file(READ "${WORK}/backup/Quorvak/SHA256SUMS" sums)
string(REGEX REPLACE "[0-9a-f]+(  Display/Qelvaro Demo Graphics Adapter/qvdisp.sys)" "${sum}\\1" sums "${sums}")
file(WRITE "${WORK}/backup/Quorvak/SHA256SUMS" "${sums}")
run_verify(1 "FAILED Display/Qelvaro Demo Graphics Adapter: qvdisp.sys: not in catalog qvdisp.cat;")

# The same drivers as one self-extracting program, on the payloads qelvaro.exe carries:
# whole (7z tests every entry with the package password), the tree plus setup.exe.
file(REMOVE_RECURSE "${WORK}/sfx")
file(MAKE_DIRECTORY "${WORK}/sfx")
string(REPLACE "/" "\\" to "Z:${WORK}/sfx")
execute_process(COMMAND "${RUNNER}" "${EXE}" backup --image "${image}" --to "${to}" --format sfx
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
execute_process(COMMAND 7z t -pqorvantelbrix "${WORK}/sfx/Quorvak.exe" RESULT_VARIABLE tested OUTPUT_VARIABLE said)
string(REGEX MATCH "Files: [0-9]+" files "${said}")
if(NOT code EQUAL 0 OR NOT tested EQUAL 0 OR NOT files STREQUAL "Files: 27" OR EXISTS "${WORK}/sfx/Quorvak")
  message(FATAL_ERROR "backup --image --format sfx ended with ${code}; 7z t said:\n${said}")
endif()

# The base-block checks and the log replay come first and need no hive loader: a
# dirty hive whose log is not a log is refused naming it, found through the Windows
# file system (case-insensitive here).
file(MAKE_DIRECTORY "${WORK}/dirty/windows/system32/CONFIG")
file(COPY_FILE "${CORPUS}/registry/hives/regipy__SYSTEM_B" "${WORK}/dirty/windows/system32/CONFIG/SYSTEM")
file(WRITE "${WORK}/dirty/windows/system32/CONFIG/system.log2" "not a log")
run_list("${WORK}/dirty" 1 "SYSTEM was not closed cleanly")
run_list("${WORK}/dirty" 1 "config\\system.log2), which cannot be replayed")
# With its real logs, the Windows 10 hive is replayed and read.
file(COPY_FILE "${CORPUS}/registry/hives/regipy__SYSTEM_B.LOG1" "${WORK}/dirty/windows/system32/CONFIG/system.log1")
file(COPY_FILE "${CORPUS}/registry/hives/regipy__SYSTEM_B.LOG2" "${WORK}/dirty/windows/system32/CONFIG/system.log2")
run_list("${WORK}/dirty" 0 "NVIDIA NVS 5200M\t")
file(COPY_FILE "${CORPUS}/registry/hives/dfwinreg__SYSTEM.DAT" "${WORK}/dirty/windows/system32/CONFIG/SYSTEM")
run_list("${WORK}/dirty" 1 "is a Windows 95/98/ME registry file")
run_list("${WORK}/nowhere" 1 "does not exist")

# Without --image, the running system: the demo drivers seeded into the prefix.
execute_process(COMMAND "${RUNNER}" --seed-demo "${EXE}" list --json
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "list on the running system ended with ${code}")
endif()
foreach(expected "\"description\": \"Qelvaro Demo Graphics Adapter\"" "\"class\": \"Printer\""
                 "\"inf\": \"oem4.inf\"" "\"classDescription\": \"\\u663e\\u793a\\u9002\\u914d\\u5668\"")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "list on the running system lacks ${expected}")
  endif()
endforeach()
string(FIND "${out}" "Microsoft Kernel Debug" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "list shows Microsoft's driver without --all")
endif()
