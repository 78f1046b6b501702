#!/usr/bin/env bash
# End-to-end tests of vondrel.exe under Wine + Xvfb, against the demo site
# served by nginx on 127.0.0.1, driven by vondrel-driver.exe and xdotool.
# Screenshots go to build/e2e/win32/. Exit code 0 when every check passed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../../.." && pwd)
source "$here/wine-env.sh"

out=$src/build/e2e/win32
rm -rf "$out/run" "$out"/*.png
mkdir -p "$out/run"
state=$out/site
log=$state/logs/access.log
driver=$WIN_BUILD/vondrel-driver.exe
host=$(sed -n 's/^VONDREL_SITE_HOST:STRING=//p' "$WIN_BUILD/CMakeCache.txt")
port=${host##*:}
blog=$(sed -n 's/^VONDREL_BLOG_HOST:STRING=//p' "$WIN_BUILD/CMakeCache.txt")
main="Vondrelv2.0 - 博客：$blog"
failures=0
program_pid=

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
check() { # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}
contains() { # contains NAME NEEDLE HAYSTACK
  case "$3" in *"$2"*) pass "$1" ;; *) fail "$1: [$2] not in [$3]" ;; esac
}
drive() { timeout 60 "$WINE" "$driver" "$@" 2>/dev/null | tr -d '\r'; }
shot() { import -window root "$out/$1.png" 2>/dev/null || true; }
site() { bash "$src/scripts/site.sh" start --port "$port" --state "$state" "$@" >/dev/null; }
count() { grep -c "$1" "$log" 2>/dev/null || true; }

start_program() {
  (cd "$out/run" && exec "$WINE" vondrel.exe >/dev/null 2>&1) &
  program_pid=$!
}
wait_program() { # wait_program SECONDS: the program's process ended
  for _ in $(seq 1 $(($1 * 10))); do
    kill -0 "$program_pid" 2>/dev/null || { wait "$program_pid"; return $?; }
    sleep 0.1
  done
  return 124
}
# xdotool presses keys in the X window of a Wine window found by its caption
press() { # press CAPTION KEYS...
  local id
  id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
  [ -n "$id" ] || return 1
  shift
  # no window manager: focus it, then type through XTest like a keyboard
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key "$@"
}

cleanup() {
  bash "$src/scripts/site.sh" stop --state "$state" >/dev/null 2>&1 || true
  stop_display
}
trap cleanup EXIT

wine_prefix
start_display || exit 1
cp "$WIN_BUILD/vondrel.exe" "$out/run/vondrel.exe"

# ---- the main window, the about window, the Help-menu check ---------------
site --version 2.1
: >"$log"
start_program
info=$(drive window "$main" 30000)
screen_w=$(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\).*/\1/p')
screen_h=$(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\).*/\2/p')
check "main window: caption, outer size, centred" \
  "left=$(((screen_w - 939) / 2)) top=$(((screen_h - 748) / 2)) width=939 height=748" "${info% client=*}"
sleep 2
shot main-window
check "status bar part 0" "当前状态:" "$(drive status "$main" 0)"
contains "silent version check: HTTP/1.0 with the program's user agent" \
  '"GET /updata/ver.php HTTP/1.0" 200 3 range="-" content_range="-" ua="Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"' \
  "$(cat "$log")"
contains "the start page is requested" "GET /index20.html" "$(cat "$log")"

# the Help menu, drawn by the menu component, opened from the keyboard
press "$main" alt+h
sleep 1
shot help-menu
xdotool key a
about=$(drive window "关于 Vondrel" 10000)
contains "about window from the Help menu: size" "width=326 height=273" "$about"
contains "the main window takes no input meanwhile" "enabled=0" "$(drive window "$main" 0)"
sleep 1
shot about-window
drive tab "关于 Vondrel" 1 >/dev/null
sleep 0.5
details=$(drive text "关于 Vondrel" Edit 0)
contains "details tab: the program folder" "程序文件夹:" "$details"
contains "details tab: the full path" 'run' "$details"
shot about-details
drive key "关于 Vondrel" esc >/dev/null
drive gone "关于 Vondrel" 5000 && pass "Esc closes the about window" || fail "Esc closes the about window"
contains "the main window is enabled again" "enabled=1" "$(drive window "$main" 0)"

# again, closed by Enter on the default button
press "$main" alt+h
sleep 0.5
xdotool key a
drive window "关于 Vondrel" 10000 >/dev/null
drive key "关于 Vondrel" enter >/dev/null
drive gone "关于 Vondrel" 5000 && pass "Enter closes the about window" || fail "Enter closes the about window"

# Help > check for updates against version 2.1: nothing newer
before=$(count 'GET /updata/ver.php HTTP/1.0')
press "$main" alt+h
sleep 0.5
xdotool key c
box=$(drive box "软件更新" 15000)
check "Help-menu check says there is nothing newer" "无可用更新。" "$box"
check "it asked the server once more" "$((before + 1))" "$(count 'GET /updata/ver.php HTTP/1.0')"
shot no-update
box_id=$(xdotool search --name "^软件更新\$" 2>/dev/null | head -1)
xdotool key --window "$box_id" Return 2>/dev/null && drive gone "软件更新" 5000 && pass "xdotool's Return presses the box's default button" ||
  fail "xdotool's Return presses the box's default button"

# Esc in the main window ends the program with exit code 0
sleep 1  # the box's loop has given the windows back
drive key "$main" esc >/dev/null
drive gone "$main" 10000 && pass "Esc closes the main window" || fail "Esc closes the main window"
wait_program 30
check "Esc ends the program with exit code 0" 0 $?

# ---- a full update ------------------------------------------------------------
# the package: this build with a marker appended, so the replacement shows
package=$out/vd.exe
cp "$WIN_BUILD/vondrel.exe" "$package"
printf 'replacement build %s' "$(date +%s)" >>"$package"
site --version 2.2 --package "$package"
: >"$log"
start_program
offer=$(drive box "软件更新" 30000)
check "the silent check offers the update" "Vondrel有最新版本2.2，是否要更新？" "$offer"
shot update-offer
drive answer "软件更新" ok >/dev/null
progress=$(drive window "程序更新进度" 15000)
contains "the update window opens" "width=333" "$progress"
shot update-window
done_box=$(drive box "软件更新提示" 60000)
check "the completion message" "升级完成，点击确认按钮程序重新启动。" "$done_box"
# the timer goes on ticking under the message: the bar reaches 100
for _ in $(seq 1 30); do [ "$(drive position "程序更新进度")" = 100 ] && break; sleep 0.2; done
check "the progress bar shows the whole package" 100 "$(drive position "程序更新进度")"
shot update-complete
downloads=$(count 'GET /updata/vd.exe HTTP/1.1')
[ "$downloads" -ge 5 ] && pass "the package came in $downloads requests" ||
  fail "the package came over five connections: $downloads requests"
ranges=$(grep 'GET /updata/vd.exe' "$log" | grep -c 'range="bytes=')
[ "$ranges" -ge 4 ] && pass "later segments asked for byte ranges ($ranges)" || fail "byte ranges: $ranges"
site --version 2.1 --package "$package"
checks_before=$(count 'GET /updata/ver.php HTTP/1.0')
drive answer "软件更新提示" ok >/dev/null
# the script ends the old process, swaps the files and starts the new build
for _ in $(seq 1 300); do
  [ "$(count 'GET /updata/ver.php HTTP/1.0')" -gt "$checks_before" ] && break
  sleep 0.1
done
[ "$(count 'GET /updata/ver.php HTTP/1.0')" -gt "$checks_before" ] && pass "the new build started and asked for the version" ||
  fail "the new build started and asked for the version"
drive window "$main" 30000 >/dev/null && pass "the new build's main window is up" || fail "the new build's main window"
cmp -s "$package" "$out/run/vondrel.exe" && pass "vondrel.exe was replaced by the downloaded build" ||
  fail "vondrel.exe was replaced by the downloaded build"
for _ in $(seq 1 50); do [ -e "$out/run/5update.bat" ] || break; sleep 0.1; done
[ ! -e "$out/run/5update.bat" ] && pass "the script deleted itself" || fail "the script deleted itself"
[ ! -e "$out/run/ZADADA5.exe.tmp" ] && pass "the package was renamed" || fail "the package was renamed"
sleep 1
shot after-update
# Esc typed on the keyboard (XTest) closes it
press "$main" Escape
drive gone "$main" 20000 && pass "Esc from the keyboard closes the new build" ||
  fail "Esc from the keyboard closes the new build"

# ---- the page feedback, with a stand-in browser control ----------------------
# Wine's control shows no pages; a copy of the prefix maps the browser's ProgID
# to our control, which loads a "page" in steps and raises its right-click.
wineserver -k 2>/dev/null || true
if [ -f "$WIN_BUILD/vondrel-test-browser.dll" ]; then
  export WINEPREFIX=$WIN32_BUILD/wineprefix-test-browser
  rm -rf "$WINEPREFIX"
  cp -a "$WIN32_BUILD/wineprefix" "$WINEPREFIX"
  clsid='{5B1E2C70-4D1A-4F0E-9A61-3C2D701E8842}'
  dll=$("$WINE" winepath -w "$WIN_BUILD/vondrel-test-browser.dll" 2>/dev/null | tr -d '\r')
  "$WINE" reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$dll" /f >/dev/null 2>&1
  "$WINE" reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment /f \
    >/dev/null 2>&1
  "$WINE" reg add 'HKLM\Software\Classes\Shell.Explorer.2\CLSID' /ve /d "$clsid" /f >/dev/null 2>&1
  wineserver -w
  site --version 2.1
  start_program
  drive window "$main" 30000 >/dev/null
  for _ in $(seq 1 50); do [ "$(drive status "$main" 1)" = 就绪 ] && break; sleep 0.2; done
  check "document complete: the status bar says ready" "就绪" "$(drive status "$main" 1)"
  cover=$(drive children "$main" | head -3 | grep -c hidden)
  check "document complete: the loading cover is hidden" 3 "$cover"
  shot page-loaded
  geometry=$(drive window "$main" 0)
  left=$(sed -n 's/.*left=\(-\?[0-9]*\).*/\1/p' <<<"$geometry")
  top=$(sed -n 's/.*top=\(-\?[0-9]*\).*/\1/p' <<<"$geometry")
  xdotool mousemove $((left + 300)) $((top + 300)) click 3
  sleep 1
  shot context-menu
  xdotool key Up Return
  drive window "关于 Vondrel" 10000 >/dev/null && pass "the page's right-click menu opens the about window" ||
    fail "the page's right-click menu opens the about window"
  drive key "关于 Vondrel" esc >/dev/null
  drive gone "关于 Vondrel" 5000 >/dev/null
  sleep 0.5
  press "$main" Escape
  drive gone "$main" 20000 && pass "Esc closes the window over the page" || fail "Esc closes the window over the page"
  wait_program 20
  check "and the program ends with 0" 0 $?
  wineserver -k 2>/dev/null || true
  export WINEPREFIX=$WIN32_BUILD/wineprefix
fi

echo "screenshots: $out"
if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
