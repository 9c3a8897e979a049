# Finds what the Linux build needs. A component that is on and misses something stops the
# configuration with the Debian package to install; nothing is left out silently. Leaving a
# component out is an option of its own (VREK_GUI, VREK_ODBC, VREK_E2E).
#
# Sets, for the directories below:
#   VREK_ODBC_LIB, VREK_SQLITE_ODBC_DRIVER, VREK_TDS_ODBC_DRIVER, VREK_TSQL   (VREK_ODBC)
#   VREK_QT_ZH_CN   (VREK_GUI)
#   VREK_XVFB, VREK_XDOTOOL (the tests run xdotool from PATH), VREK_OPENBOX, VREK_LINTIAN,
#   VREK_DPKG_SHLIBDEPS   (VREK_E2E)

set(vrek_missing "")

# Notes a missing dependency: the Debian package that brings it, what it is, and the option that
# leaves out what needs it (empty when nothing can do without it).
function(vrek_missing package what option)
  set(line "  ${package}: ${what}")
  if(option)
    string(APPEND line " (or configure with -D${option}=OFF)")
  endif()
  list(APPEND vrek_missing "${line}")
  set(vrek_missing "${vrek_missing}" PARENT_SCOPE)
  set(vrek_missing_packages "${vrek_missing_packages};${package}" PARENT_SCOPE)
endfunction()

# A file that a package installs at a fixed place (drivers loaded by the driver manager).
function(vrek_require_file var default package what option)
  set(${var} ${default} CACHE FILEPATH "${what}")
  if(NOT EXISTS "${${var}}")
    vrek_missing(${package} "${what}, ${${var}}" "${option}")
    set(vrek_missing "${vrek_missing}" PARENT_SCOPE)
    set(vrek_missing_packages "${vrek_missing_packages}" PARENT_SCOPE)
  endif()
endfunction()

function(vrek_require_program var name package what option)
  find_program(${var} ${name})
  if(NOT ${var} OR NOT EXISTS "${${var}}")
    vrek_missing(${package} "${what} (${name})" "${option}")
    set(vrek_missing "${vrek_missing}" PARENT_SCOPE)
    set(vrek_missing_packages "${vrek_missing_packages}" PARENT_SCOPE)
  endif()
endfunction()

find_package(GTest)
if(NOT GTest_FOUND)
  vrek_missing(libgtest-dev "GoogleTest, which every test is written with" "")
endif()

vrek_require_program(VREK_NM nm binutils "the symbol lister that checks the pinyin library's exports" "")

if(VREK_GUI)
  find_package(Qt6 COMPONENTS Widgets Gui Test)
  if(NOT Qt6_FOUND OR NOT Qt6Widgets_FOUND OR NOT Qt6Test_FOUND)
    vrek_missing(qt6-base-dev "Qt 6 Widgets, Gui and Test, for the desktop program and its tests"
                 VREK_GUI)
  endif()
  vrek_require_file(VREK_QT_ZH_CN /usr/share/qt6/translations/qtbase_zh_CN.qm
                    qt6-translations-l10n "Qt's own Chinese texts for its standard buttons"
                    VREK_GUI)
endif()

if(VREK_ODBC)
  find_library(VREK_ODBC_LIB odbc)
  find_path(VREK_ODBC_INCLUDE_DIR sqlext.h)
  if(NOT VREK_ODBC_LIB OR NOT VREK_ODBC_INCLUDE_DIR)
    vrek_missing(unixodbc-dev "unixODBC's headers and library, for the ODBC database driver"
                 VREK_ODBC)
  endif()
  vrek_require_file(VREK_SQLITE_ODBC_DRIVER /usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so
                    libsqliteodbc "SQLite's ODBC driver, for the ODBC driver's tests" VREK_ODBC)
  vrek_require_file(VREK_TDS_ODBC_DRIVER /usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so
                    tdsodbc "FreeTDS's ODBC driver, for the tests over the TDS listener" VREK_ODBC)
  vrek_require_program(VREK_TSQL tsql freetds-bin
                       "FreeTDS's client, which reads back what the tests over TDS wrote" VREK_ODBC)
endif()

if(VREK_E2E)
  vrek_require_program(VREK_XVFB Xvfb xvfb "the virtual X display the program is tested on"
                       VREK_E2E)
  vrek_require_program(VREK_XDOTOOL xdotool xdotool
                       "the tool that clicks and types into the program under test" VREK_E2E)
  vrek_require_program(VREK_OPENBOX openbox openbox
                       "the window manager the Windows program is tested under" VREK_E2E)
  vrek_require_program(VREK_LINTIAN lintian lintian
                       "Debian's package checker, which the Debian package's test runs" VREK_E2E)
  vrek_require_program(VREK_DPKG_SHLIBDEPS dpkg-shlibdeps dpkg-dev
                       "the tool that finds the Debian package's dependencies" VREK_E2E)
endif()

if(vrek_missing)
  list(JOIN vrek_missing "\n" lines)
  list(REMOVE_ITEM vrek_missing_packages "")
  list(REMOVE_DUPLICATES vrek_missing_packages)
  list(JOIN vrek_missing_packages " " packages)
  message(FATAL_ERROR "Missing dependencies:\n${lines}\n"
                      "Install them with:  apt-get install ${packages}\n"
                      "(scripts/setup installs everything the build and the tests need).")
endif()
