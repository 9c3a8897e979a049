# Installs the build into a scratch DESTDIR and checks the installed tree: the files a desktop
# user needs, and that the installed program resolves every library it links (the pinyin
# library through its RPATH, from the installed tree).
#   cmake -DBUILD_DIR=<build> -DDESTDIR=<scratch> -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix /usr)
file(REMOVE_RECURSE ${DESTDIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DESTDIR}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(root ${DESTDIR}${prefix})

foreach(f bin/UpVrek bin/upvrek-cli lib/upvrek/libPinYin.so.1 share/upvrek/splash.jpg
          share/upvrek/upvrek-32.png
          share/applications/upvrek.desktop share/icons/hicolor/32x32/apps/upvrek.png
          share/doc/upvrek/vrek.reg.sample share/doc/upvrek/copyright share/man/man1/UpVrek.1.gz
          share/man/man1/upvrek-cli.1.gz)
  if(NOT EXISTS ${root}/${f})
    message(FATAL_ERROR "not installed: ${prefix}/${f}")
  endif()
endforeach()
if(NOT IS_SYMLINK ${root}/lib/upvrek/libPinYin.so.1)
  message(FATAL_ERROR "lib/upvrek/libPinYin.so.1 is not the soname link")
endif()

file(STRINGS ${root}/share/applications/upvrek.desktop entry)
foreach(line "Exec=UpVrek" "Icon=upvrek" "Type=Application")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "upvrek.desktop lacks ${line}")
  endif()
endforeach()

foreach(program UpVrek upvrek-cli)
  execute_process(COMMAND ldd ${root}/bin/${program} OUTPUT_VARIABLE libs RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR libs MATCHES "not found")
    message(FATAL_ERROR "the installed ${program} does not resolve its libraries:\n${libs}")
  endif()
  string(REGEX MATCH "libPinYin\\.so\\.1 => [^ ]+" pinyin "${libs}")
  file(REAL_PATH ${root}/lib/upvrek/libPinYin.so.1 installed)
  string(REPLACE "libPinYin.so.1 => " "" resolved "${pinyin}")
  file(REAL_PATH "${resolved}" resolved)
  if(NOT resolved STREQUAL installed)
    message(FATAL_ERROR "the installed ${program} loads '${resolved}', not the installed ${installed}")
  endif()
endforeach()
message(STATUS "installed tree complete; UpVrek and upvrek-cli resolve all libraries")
