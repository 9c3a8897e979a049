# A fresh Wine prefix for the tests under Wine, without a display:
#   cmake -DWINE64=... -DPREFIX=... -P make_prefix.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(wine_dir ${WINE64} DIRECTORY)
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{DISPLAY})
file(REMOVE_RECURSE ${PREFIX})
get_filename_component(parent ${PREFIX} DIRECTORY)
file(MAKE_DIRECTORY ${parent})
execute_process(COMMAND ${WINE64} wineboot -i RESULT_VARIABLE boot TIMEOUT 120
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
execute_process(COMMAND ${wine_dir}/wineserver -w RESULT_VARIABLE server TIMEOUT 60)
if(NOT boot EQUAL 0 OR NOT server EQUAL 0)
  message(FATAL_ERROR "wineboot: ${boot}, wineserver -w: ${server}\n${out}")
endif()
