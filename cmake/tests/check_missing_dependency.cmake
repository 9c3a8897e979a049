# Configures SOURCE_DIR into a scratch SCRATCH_DIR with FLAG, which takes one dependency away,
# and checks that the configuration fails and names PACKAGE as the one to install.
#   cmake -DSOURCE_DIR=... -DSCRATCH_DIR=... -DGENERATOR=... -DMAKE_PROGRAM=... -DC_COMPILER=...
#         -DCXX_COMPILER=... -DFLAG=... -DPACKAGE=... -P check_missing_dependency.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${SCRATCH_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${SCRATCH_DIR} -G ${GENERATOR}
          -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_C_COMPILER=${C_COMPILER}
          -DCMAKE_CXX_COMPILER=${CXX_COMPILER} ${FLAG}
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 100)
file(REMOVE_RECURSE ${SCRATCH_DIR})
if(rc EQUAL 0)
  message(FATAL_ERROR "configuring with ${FLAG} succeeded; it must stop:\n${out}")
endif()
# The error block (CMake re-flows its lines): "Missing dependencies:", one entry a package, and
# the apt-get line naming every package.
string(REGEX REPLACE "[ \t\r\n]+" " " flat "${err}")
string(REGEX MATCH "Missing dependencies: .* Install them with: apt-get install [^(]*" block "${flat}")
if(NOT block)
  message(FATAL_ERROR "configuring with ${FLAG} failed without naming what is missing:\n${err}")
endif()
string(FIND "${block}" " ${PACKAGE}: " line)
string(REGEX MATCH "apt-get install ([^ ]+ )*${PACKAGE} " install "${block}")
if(line LESS 0 OR NOT install)
  message(FATAL_ERROR "configuring with ${FLAG} does not name ${PACKAGE}:\n${err}")
endif()
message(STATUS "configuring with ${FLAG} stops and names ${PACKAGE}:\n${block}")
