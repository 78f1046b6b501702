#!/usr/bin/env bash
# The download benchmark: vondrel-fetch against aria2c, axel and curl in the
# same run, alternating A B A B, on files served by nginx on 127.0.0.1.
#
# Usage: bench/bench.sh FETCH [WORKDIR]
#   FETCH    the vondrel-fetch binary
#   WORKDIR  data, nginx state and downloads (default build/bench)
# Environment: BIG_MIB (256), LIMITED_MIB (16), RATE (2m), ROUNDS_BIG (3), ROUNDS_LIMITED (2).
set -euo pipefail

fetch=$(realpath "${1:?usage: bench.sh FETCH [WORKDIR]}")
work=$(realpath -m "${2:-build/bench}")
big_mib=${BIG_MIB:-256}
limited_mib=${LIMITED_MIB:-16}
rate=${RATE:-2m}
rounds_big=${ROUNDS_BIG:-3}
rounds_limited=${ROUNDS_LIMITED:-2}
TIME=/usr/bin/time

for tool in nginx aria2c axel curl; do command -v $tool >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }; done
[ -x $TIME ] || { echo "bench: GNU time is missing ($TIME)" >&2; exit 1; }

mkdir -p "$work/www" "$work/nginx" "$work/out"
make_data() { # name MiB
  local f=$work/www/$1
  if [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" != $(($2 * 1048576)) ]; then
    head -c $(($2 * 1048576)) /dev/urandom >"$f"
  fi
}
make_data big.bin "$big_mib"
make_data limited.bin "$limited_mib"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
error_log $work/nginx/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx/cb; proxy_temp_path $work/nginx/pt; fastcgi_temp_path $work/nginx/ft;
  uwsgi_temp_path $work/nginx/ut; scgi_temp_path $work/nginx/st;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location /limited/ { alias $work/www/; limit_rate $rate; }
  }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done

results=$work/results.txt
: >"$results"

# run LABEL URL SOURCE: one download, timed; appends "label wall cpu peak_kib ok"
run() {
  local label=$1 url=$2 source=$3 out=$work/out/file
  rm -f "$out" "$out".st "$out".aria2
  local cmd
  case $label in
    vondrel-fetch) cmd=("$fetch" "$url" "$out") ;;
    vondrel-fetch-1) cmd=("$fetch" --connections 1 "$url" "$out") ;;
    aria2c) cmd=(aria2c -x5 -s5 -q --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -o file "$url") ;;
    aria2c-k1M) cmd=(aria2c -x5 -s5 -k1M -q --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -o file "$url") ;;
    axel) cmd=(axel -n 5 -q -o "$out" "$url") ;;
    curl) cmd=(curl -s -o "$out" "$url") ;;
  esac
  local status=0
  $TIME -f '%e %U %S %M' -o "$work/time.txt" "${cmd[@]}" >/dev/null 2>"$work/err.txt" || status=$?
  local ok=ok
  [ $status -eq 0 ] && cmp -s "$out" "$source" || ok="BAD(status=$status)"
  read -r wall user sys peak <"$work/time.txt"
  printf '%s %s %s %s\n' "$label" "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN{printf "%.2f", u+s}')" "$peak" >>"$work/set.txt"
  printf '  %-16s wall %6.2f s  cpu %5.2f s  peak %6d KiB  %s\n' "$label" "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN{printf "%.2f", u+s}')" "$peak" "$ok"
  [ "$ok" = ok ] || { echo "bench: $label gave a wrong file" >&2; sed -n 1,3p "$work/err.txt" >&2; }
  rm -f "$out"
}

# bench TITLE URL SOURCE ROUNDS TOOLS...: alternating rounds, then the mean per tool
bench() {
  local title=$1 url=$2 source=$3 rounds=$4
  shift 4
  : >"$work/set.txt"
  echo "== $title: $rounds rounds, alternating"
  for r in $(seq "$rounds"); do
    for tool in "$@"; do run "$tool" "$url" "$source"; done
  done
  echo "-- $title: mean of $rounds rounds (ratios to aria2c)"
  awk -v title="$title" '
    { n[$1]++; w[$1]+=$2; c[$1]+=$3; if ($4>m[$1]) m[$1]=$4; if (!($1 in seen)) { seen[$1]=1; order[++k]=$1 } }
    END {
      printf "  %-16s %9s %9s %11s %8s %8s\n", "tool", "wall s", "cpu s", "peak MiB", "wall/a", "cpu/a"
      aw = w["aria2c"]/n["aria2c"]; ac = c["aria2c"]/n["aria2c"]
      for (i=1; i<=k; i++) { t=order[i]
        printf "  %-16s %9.2f %9.2f %11.1f %8.2f %8.2f\n", t, w[t]/n[t], c[t]/n[t], m[t]/1024, (w[t]/n[t])/aw, (ac>0 ? (c[t]/n[t])/ac : 0)
        printf "%s %s %.3f %.3f %.1f\n", title, t, w[t]/n[t], c[t]/n[t], m[t]/1024 >> "'"$results"'"
      }
    }' "$work/set.txt"
}

echo "vondrel-fetch: $fetch; nginx on 127.0.0.1:$port; $(nproc) cores"
bench "${big_mib} MiB loopback" "http://127.0.0.1:$port/big.bin" "$work/www/big.bin" "$rounds_big" \
  vondrel-fetch aria2c axel curl
bench "${limited_mib} MiB at $rate per connection" "http://127.0.0.1:$port/limited/limited.bin" \
  "$work/www/limited.bin" "$rounds_limited" vondrel-fetch aria2c aria2c-k1M axel curl vondrel-fetch-1

# The targets.
awk -v big="${big_mib} MiB loopback" -v lim="${limited_mib} MiB at $rate per connection" '
  { key=$0; sub(/ [^ ]+ [^ ]+ [^ ]+ [^ ]+$/, "", key); split($0, f, " "); nf=split($0, a, " ");
    tool=a[nf-3]; W[key, tool]=a[nf-2]; C[key, tool]=a[nf-1]; M[key, tool]=a[nf] }
  END {
    printf "== targets\n"
    printf "  %-58s %s\n", sprintf("256 MiB wall <= aria2c (%.2f vs %.2f s)", W[big,"vondrel-fetch"], W[big,"aria2c"]), (W[big,"vondrel-fetch"] <= W[big,"aria2c"] ? "met" : "MISSED")
    printf "  %-58s %s\n", sprintf("256 MiB cpu <= aria2c (%.2f vs %.2f s)", C[big,"vondrel-fetch"], C[big,"aria2c"]), (C[big,"vondrel-fetch"] <= C[big,"aria2c"] ? "met" : "MISSED")
    printf "  %-58s %s\n", sprintf("256 MiB peak memory <= 16 MiB (%.1f MiB)", M[big,"vondrel-fetch"]), (M[big,"vondrel-fetch"] <= 16 ? "met" : "MISSED")
    printf "  %-58s %s\n", sprintf("limited: within 1.1 x aria2c (%.2f vs %.2f s)", W[lim,"vondrel-fetch"], W[lim,"aria2c"]), (W[lim,"vondrel-fetch"] <= 1.1 * W[lim,"aria2c"] ? "met" : "MISSED")
    printf "  %-58s %s\n", sprintf("limited: >= 4.5 x one connection (%.2f x)", W[lim,"vondrel-fetch-1"] / W[lim,"vondrel-fetch"]), (W[lim,"vondrel-fetch-1"] >= 4.5 * W[lim,"vondrel-fetch"] ? "met" : "MISSED")
  }' "$results"
