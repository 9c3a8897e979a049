#!/usr/bin/env bash
# Builds the Debian package, has lintian check it (no error, no warning), unpacks it with
# dpkg-deb -x and runs the programs from the unpacked tree, as they run once installed:
# upvrek-cli --version and its usage; UpVrek with no data source on a virtual display, where it
# must show the connection-failure box and end once the box is closed.
#   check_deb.sh <build dir> <linux source dir> <version> <work dir> <Xvfb>
# Every wait has a time limit; the processes it starts are ended by their ids.
set -euo pipefail
build=$1 source=$2 version=$3 work=$4 xvfb=$5
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
deb=$(cmake -DBUILD_DIR="$build" -DSOURCE_DIR="$source" -DVERSION="$version" \
        -DWORK_DIR="$work/build" -P "$source/debian/build_deb.cmake" | sed -n 's/^-- //p' | tail -n1)
[ -f "$deb" ] || fail "no package built"
echo "package: $deb"

# lintian's own exit status fails on errors only; any E: or W: line fails here.
timeout 300 lintian --fail-on error,warning "$deb" > "$work/lintian.txt" 2>&1 || {
  cat "$work/lintian.txt"; fail "lintian failed"; }
if grep -E '^[EW]: ' "$work/lintian.txt"; then fail "lintian reports errors or warnings"; fi
echo "lintian: no error, no warning"

fields=$(dpkg-deb -f "$deb" Package Version Depends Recommends)
for want in "Package: upvrek" "Version: $version"; do
  grep -qx "$want" <<<"$fields" || fail "control lacks '$want': $fields"
done
for dep in libqt6widgets6 libodbc2 qt6-translations-l10n; do
  grep -q "^Depends:.*\b$dep\b" <<<"$fields" || fail "Depends lacks $dep: $fields"
done
grep -qx "Recommends: tdsodbc, fonts-wqy-zenhei" <<<"$fields" || fail "Recommends: $fields"

root=$work/root
dpkg-deb -x "$deb" "$root"
expected="usr/bin/UpVrek
usr/bin/upvrek-cli
usr/lib/upvrek/libPinYin.so.1
usr/lib/upvrek/libPinYin.so.1.0.0
usr/share/applications/upvrek.desktop
usr/share/doc/upvrek/changelog.gz
usr/share/doc/upvrek/copyright
usr/share/doc/upvrek/vrek.reg.sample
usr/share/icons/hicolor/32x32/apps/upvrek.png
usr/share/man/man1/UpVrek.1.gz
usr/share/man/man1/upvrek-cli.1.gz
usr/share/man/zh_CN/man1/UpVrek.1.gz
usr/share/man/zh_CN/man1/upvrek-cli.1.gz
usr/share/upvrek/splash.jpg
usr/share/upvrek/upvrek-32.png"
listed=$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the package holds:
$listed"

# The programs load the pinyin library of the unpacked tree, through their RPATH.
for program in UpVrek upvrek-cli; do
  resolved=$(ldd "$root/usr/bin/$program" | awk '$1 == "libPinYin.so.1" {print $3}')
  [ "$(realpath "$resolved")" = "$(realpath "$root/usr/lib/upvrek/libPinYin.so.1.0.0")" ] ||
    fail "$program loads libPinYin from '$resolved'"
  ! ldd "$root/usr/bin/$program" | grep -q "not found" || fail "$program: missing libraries"
done

out=$(timeout 20 "$root/usr/bin/upvrek-cli" --version)
[ "$out" = "$version" ] || fail "upvrek-cli --version: '$out'"
status=0
timeout 20 "$root/usr/bin/upvrek-cli" > "$work/usage.out" 2> "$work/usage.err" || status=$?
[ "$status" = 64 ] && [ ! -s "$work/usage.out" ] &&
  head -n2 "$work/usage.err" | cmp -s - <(printf '%s\n' "缺少命令。" \
    "用法：upvrek-cli run | plan [--batches] | repair [--plan [--batches]] | encode | --version") ||
  fail "upvrek-cli without a command: status $status, $(cat "$work/usage.err")"
echo "upvrek-cli: --version $out; usage in Chinese"

# UpVrek against nothing: a settings file naming a data source that does not exist.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"ODBCNAME"="NoSuchSource"\r\n' \
  > "$work/vrek.reg"
: > "$work/odbc.ini"
"$xvfb" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2> /dev/null || true
  kill "$xvfb_pid" 2> /dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.2; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n1 "$work/display")
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
XDG_RUNTIME_DIR=$work/runtime VREK_REGISTRY=$work/vrek.reg ODBCINI=$work/odbc.ini \
  ODBCSYSINI=$work VREK_GUI_LOG=$work/gui.log QT_QPA_PLATFORM=xcb \
  "$root/usr/bin/UpVrek" > "$work/program.log" 2>&1 &
program_pid=$!
box="box 错误信息: 数据库连接失败，请检查通信参数或服务器状态！"
for _ in $(seq 150); do grep -qxF "$box" "$work/gui.log" 2> /dev/null && break; sleep 0.2; done
grep -qxF "$box" "$work/gui.log" || fail "no connection-failure box: $(cat "$work/gui.log" "$work/program.log")"
window=$(timeout 10 xdotool search --name '^错误信息$' | head -n1)
[ -n "$window" ] || fail "the box is not on the display"
# Its button is Qt's own, in Chinese; Return presses it.
timeout 10 xdotool windowfocus --sync "$window" || true
timeout 10 xdotool key Return
status=""
for _ in $(seq 100); do
  kill -0 "$program_pid" 2> /dev/null || { wait "$program_pid" && status=0 || status=$?; break; }
  sleep 0.2
done
[ "$status" = 0 ] || fail "UpVrek did not end after the box (status '$status'): $(cat "$work/program.log")"
program_pid=""
echo "UpVrek: the connection-failure box, then the end"
