# Ends the Wine prefix's server once its tests are done: it goes by itself when its programs
# have ended; it is stopped when it lingers.
#   cmake -DWINE64=... -DPREFIX=... -P end_prefix.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(wine_dir ${WINE64} DIRECTORY)
set(ENV{WINEPREFIX} ${PREFIX})
execute_process(COMMAND ${wine_dir}/wineserver -w RESULT_VARIABLE waited TIMEOUT 30)
if(NOT waited EQUAL 0)
  execute_process(COMMAND ${wine_dir}/wineserver -k TIMEOUT 20)
endif()
