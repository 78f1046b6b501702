# Sourced by the Windows tests: the Wine prefix under build/win32, a display,
# and the Wine loader that can run on this machine.
#
# 32-bit Wine needs the kernel to run i386 code; where it cannot (the loader
# fails with "Exec format error"), the tests run the 64-bit build of the same
# code under 64-bit Wine instead.
WIN32_BUILD=${WIN32_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/build/win32}
export WINEPREFIX=$WIN32_BUILD/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  WINE=/usr/lib/wine/wine
  WINE_BITS=32
  export WINEARCH=win32
  WIN_BUILD=$WIN32_BUILD
else
  WINE=/usr/lib/wine/wine64
  WINE_BITS=64
  export WINEARCH=win64
  export WINELOADER=$WINE
  WIN_BUILD=$WIN32_BUILD/x64
fi
export WINE WINE_BITS WIN_BUILD

# Creates the prefix once; later calls only check it. A prefix of the other
# width is made anew.
wine_prefix() {
  local mark=$WINEPREFIX/.vondrel-$WINE_BITS
  if [ -f "$mark" ]; then return 0; fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 "$WINE" wineboot -i >/dev/null 2>&1 || true
  # wine draws the frames itself: there is no window manager on the test display
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  # the dialog font falls back to a CJK face for the Chinese texts
  "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg' \
    /d 'Noto Sans CJK SC' /f >/dev/null 2>&1
  "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'Tahoma' \
    /d 'Noto Sans CJK SC' /f >/dev/null 2>&1
  wineserver -w
  touch "$mark"
}

# Starts Xvfb on a free display number and exports DISPLAY; XVFB_PID is set.
start_display() {
  local n
  for n in $(seq 70 99); do
    [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 1 50); do
      xdpyinfo -display :$n >/dev/null 2>&1 && return 0
      [ -e /tmp/.X11-unix/X$n ] && sleep 0.2 && return 0
      sleep 0.1
    done
  done
  echo "no display could be started" >&2
  return 1
}

stop_display() {
  wineserver -k 2>/dev/null || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
