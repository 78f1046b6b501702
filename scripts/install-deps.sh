#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when they are there.
# Usage: scripts/install-deps.sh [base|linux|win32|all]
set -euo pipefail
want=${1:-all}

base=(cmake ninja-build g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev nginx-light python3 clang llvm libclang-rt-14-dev)
linux=(libgtk-3-dev libwebkit2gtk-4.1-dev xvfb xauth dbus-x11 at-spi2-core xdotool imagemagick fonts-noto-cjk
       xclip aria2 axel curl python3-gi gir1.2-atspi-2.0 time)
win32=(g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix wine wine32 wine64 xvfb x11-utils xdotool
       imagemagick fonts-noto-cjk binutils curl file)

pkgs=("${base[@]}")
case "$want" in
  base) ;;
  linux) pkgs+=("${linux[@]}") ;;
  win32) pkgs+=("${win32[@]}") ;;
  all) pkgs+=("${linux[@]}" "${win32[@]}") ;;
  *) echo "unknown set: $want" >&2; exit 2 ;;
esac

need_i386=0
for p in "${pkgs[@]}"; do [ "$p" = wine32 ] && need_i386=1; done

missing=()
for p in "${pkgs[@]}"; do
  q=$p; [ "$p" = wine32 ] && q=wine32:i386
  dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed' || missing+=("$q")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# another apt run (a parallel job) may hold the lock: wait for it
for _ in $(seq 1 120); do
  fuser /var/lib/dpkg/lock-frontend >/dev/null 2>&1 || break; sleep 5
done
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
