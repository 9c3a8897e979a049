# Fails unless the dynamic symbol table of LIB defines GetPinYinFirstChar and no
# other symbol. With SANITIZED set, the symbols that the sanitizers' instrumentation
# adds are let through: their hooks, and the type information of function types
# that clang's -fsanitize=function emits as weak symbols.
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(names "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    set(name "${CMAKE_MATCH_1}")
    if(SANITIZED AND name MATCHES "^(__asan|___asan|__odr_asan|__ubsan|__sancov|_ZTIF|_ZTSF)")
      continue()
    endif()
    list(APPEND names "${name}")
  endif()
endforeach()
if(NOT names STREQUAL "GetPinYinFirstChar")
  message(FATAL_ERROR "exported symbols of ${LIB}: '${names}', expected only GetPinYinFirstChar")
endif()
