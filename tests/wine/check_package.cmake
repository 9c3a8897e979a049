# What a user copies: the zip holds exactly UpVrek.exe, upvrek-cli.exe and PinYin.dll, and none
# imports a MinGW runtime DLL (libgcc, libstdc++, winpthread), so nothing else needs to be
# installed; both programs import PinYin.dll.
#   cmake -DZIP=... -DBIN=... -DOBJDUMP=... -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listed
                RESULT_VARIABLE status TIMEOUT 60)
string(REPLACE "\n" ";" listed "${listed}")
list(REMOVE_ITEM listed "")
list(SORT listed)
if(NOT status EQUAL 0 OR NOT listed STREQUAL "PinYin.dll;UpVrek.exe;upvrek-cli.exe")
  message(FATAL_ERROR "${ZIP} holds: ${listed} (status ${status})")
endif()
message(STATUS "the zip holds UpVrek.exe, upvrek-cli.exe and PinYin.dll")
foreach(file UpVrek.exe upvrek-cli.exe PinYin.dll)
  execute_process(COMMAND ${OBJDUMP} -p ${BIN}/${file} OUTPUT_VARIABLE dump RESULT_VARIABLE status
                  TIMEOUT 60)
  string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
  string(REPLACE "DLL Name: " "" names "${names}")
  string(TOLOWER "${names}" names)
  list(SORT names)
  if(NOT status EQUAL 0 OR names STREQUAL "" OR names MATCHES "libstdc\\+\\+|libgcc|libwinpthread")
    message(FATAL_ERROR "${file} imports: ${names} (objdump status ${status})")
  endif()
  set(pinyin "")
  if(file MATCHES "\\.exe$")
    set(pinyin " and PinYin.dll")
  endif()
  if(pinyin AND NOT "pinyin.dll" IN_LIST names)
    message(FATAL_ERROR "${file} does not import PinYin.dll: ${names}")
  endif()
  message(STATUS "${file} imports only system DLLs${pinyin}: ${names}")
endforeach()
