# Builds the Debian package upvrek_<version>_<arch>.deb in BUILD_DIR from the installed tree:
# installs it stripped into WORK_DIR/debian/upvrek, computes Depends with dpkg-shlibdeps from
# what the programs and the library load, writes DEBIAN/control and md5sums, and packs it with
# dpkg-deb as root-owned files. Every file time is the changelog's date, so two builds of the
# same tree give the same package. Prints the package's path on the last line.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=<linux/> -DVERSION=... -DWORK_DIR=... -P build_deb.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY ${WORK_DIR} TIMEOUT 300)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${rc}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(root ${WORK_DIR}/debian/upvrek)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${root}/DEBIAN)
run(${CMAKE_COMMAND} -E env DESTDIR=${root} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
    --strip)

# The libraries' packages, as dpkg-shlibdeps finds them; it wants a debian/control naming the
# package. libPinYin, found in the tree itself through the RPATH, adds no dependency.
file(WRITE ${WORK_DIR}/debian/control "Source: upvrek\n\nPackage: upvrek\nArchitecture: any\n")
file(GLOB elf ${root}/usr/bin/* ${root}/usr/lib/upvrek/libPinYin.so.*.*)
run(dpkg-shlibdeps -O -xupvrek ${elf})
string(STRIP "${out}" out)
if(NOT out MATCHES "^shlibs:Depends=(.+)$")
  message(FATAL_ERROR "dpkg-shlibdeps gave no dependencies: ${out}")
endif()
set(DEPENDS ${CMAKE_MATCH_1})
file(REMOVE_RECURSE ${WORK_DIR}/debian/control)

run(dpkg --print-architecture)
string(STRIP "${out}" ARCH)
run(du -sk --exclude=DEBIAN ${root})
string(REGEX MATCH "^[0-9]+" SIZE "${out}")
configure_file(${SOURCE_DIR}/debian/control.in ${root}/DEBIAN/control @ONLY)

# md5sums of every file, sorted, paths relative to the root.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/*)
list(SORT files)
set(sums "")
foreach(f ${files})
  if(NOT IS_SYMLINK ${root}/${f})
    file(MD5 ${root}/${f} sum)
    string(APPEND sums "${sum}  ${f}\n")
  endif()
endforeach()
file(WRITE ${root}/DEBIAN/md5sums "${sums}")

# Reproducible: every time stamp the changelog's, permissions as Debian wants them.
file(STRINGS ${SOURCE_DIR}/debian/changelog trailer REGEX "^ -- ")
string(REGEX REPLACE "^.*>  " "" date "${trailer}")
run(date -d "${date}" +%s)
string(STRIP "${out}" epoch)
run(chmod -R u=rwX,go=rX ${root})
run(find ${root} -exec touch -h -d @${epoch} {} +)

set(deb ${BUILD_DIR}/upvrek_${VERSION}_${ARCH}.deb)
file(REMOVE ${deb})
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
    dpkg-deb --root-owner-group -Zxz --build ${root} ${deb})
message(STATUS "${deb}")
