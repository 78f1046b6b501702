#!/usr/bin/env bash
# The Windows tier: cross-builds vondrel.exe (32-bit), checks what it is, and
# runs the unit tests, the backend tests and the end-to-end tests under Wine.
# Where this machine cannot run 32-bit code, the tests run the 64-bit build of
# the same sources under 64-bit Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../../.."
jobs=$(nproc)
source tests/e2e/win32/wine-env.sh
trap 'wineserver -k 2>/dev/null || true' EXIT

tests=(vondrel_unit_tests vondrel_backend_tests vondrel_driver vondrel_exe vondrel_test_browser)
cmake --preset win32 >/dev/null
if [ "$WINE_BITS" = 32 ]; then
  cmake --build --preset win32 -j "$jobs" --target "${tests[@]}"
else
  echo "32-bit Wine cannot run here; the tests use the 64-bit build under 64-bit Wine"
  # the 32-bit tests are still built: they compile for the program's target
  cmake --build --preset win32 -j "$jobs" --target "${tests[@]}"
  cmake --preset win32-x64 >/dev/null
  cmake --build --preset win32-x64 -j "$jobs" --target "${tests[@]}"
fi

kind=$(file -b build/win32/vondrel.exe)
echo "build/win32/vondrel.exe: $kind"
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "vondrel.exe is not a 32-bit GUI program" >&2; exit 1 ;;
esac
# the version resource: the string table and its values, in UTF-16
python3 - build/win32/vondrel.exe "$(sed -n 's/^VONDREL_BLOG_HOST:STRING=//p' build/win32/CMakeCache.txt)" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
want = ['080404B0', 'FileVersion', '2.0.2.0', 'ProductVersion', 'ProductName', 'Vondrel2.0', 'Comments',
        'FileDescription', 'Vondrelv2.0 - 博客：' + sys.argv[2], 'CompanyName', 'LegalCopyright', 'Vondo',
        'Microsoft.Windows.Common-Controls']
missing = [w for w in want if w.encode('utf-16-le') not in data and w.encode() not in data]
if missing:
    sys.exit('vondrel.exe lacks in its resources: ' + ', '.join(missing))
print('version resource and manifest: present')
PY

wine_prefix
start_display
trap 'wineserver -k 2>/dev/null || true; stop_display' EXIT
(cd "$WIN_BUILD" && ctest --output-on-failure -R '^(unit|win32)\.' --timeout 300)
wineserver -k 2>/dev/null || true
bash tests/e2e/win32/run.sh
