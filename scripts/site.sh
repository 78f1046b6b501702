#!/usr/bin/env bash
# Serves the bundled demo site and update files with nginx on 127.0.0.1.
#
# Usage: scripts/site.sh start|stop|status|config|selftest [options]
#   --port P                 port on 127.0.0.1 (default 8936)
#   --state DIR              config, logs, pid file and temp files (default build/site)
#   --root DIR               web root to generate (default <state>/www)
#   --version V              body of /updata/ver.php (default: the one in site/, 2.1)
#   --package FILE           served as /updata/vd.exe (default: no package)
#   --rate-limited-location  send /updata/ files at a limited rate per connection
#   --rate R                 that rate, in nginx size units (default 256k)
#
# start makes the web root and config match the options; a server that is already
# running from the state dir keeps running (it is reloaded when its config changed).
# stop and status only need --state. config writes the files without starting.
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
NGINX=${NGINX:-/usr/sbin/nginx}

die() { echo "site.sh: $*" >&2; exit 1; }

abspath() { # a path that may not exist yet, made absolute
  case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s/%s\n' "$PWD" "$1" ;; esac
}

cmd=${1:-}
[ $# -gt 0 ] && shift
port=8936 state=build/site root= version= package= rate_limited=0 rate=256k
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=${2:?--port needs a value}; shift 2 ;;
    --state) state=${2:?--state needs a value}; shift 2 ;;
    --root) root=${2:?--root needs a value}; shift 2 ;;
    --version) version=${2?--version needs a value}; shift 2 ;;
    --package) package=${2:?--package needs a value}; shift 2 ;;
    --rate-limited-location) rate_limited=1; shift ;;
    --rate) rate=${2:?--rate needs a value}; shift 2 ;;
    *) die "unknown option: $1" ;;
  esac
done
[[ $port =~ ^[0-9]+$ ]] && [ "$port" -ge 1 ] && [ "$port" -le 65535 ] || die "bad port: $port"
[[ $rate =~ ^[0-9]+[kKmM]?$ ]] || die "bad rate: $rate"
# The default state dir is relative to the project, whatever the caller's directory.
[ "$state" = build/site ] && state=$src/build/site
state=$(abspath "$state")
root=$(abspath "${root:-$state/www}")
conf=$state/nginx.conf
pidfile=$state/nginx.pid

# The port of the server this state dir describes: the one it was started with.
saved_port() { cat "$state/port" 2>/dev/null || echo "$port"; }

server_pid() { # the pid of our nginx master, when it is alive
  local pid
  pid=$(cat "$pidfile" 2>/dev/null) || return 1
  [[ $pid =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$conf" || return 1
  echo "$pid"
}

answers() { # $1 port: something answers HTTP for ver.php there (logged as "site.sh probe")
  [ "$(curl -s -o /dev/null -m 2 -A 'site.sh probe' -w '%{http_code}' "http://127.0.0.1:$1/updata/ver.php")" = 200 ]
}

port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

running() { server_pid >/dev/null && answers "$(saved_port)"; }

make_root() {
  case "$root/" in "$src/site/"*) die "the web root must not be inside site/: $root" ;; esac
  [ -z "$package" ] || [ -f "$package" ] || die "no such package: $package"
  mkdir -p "$root"
  cp -R "$src/site/." "$root/"
  if [ -n "$version" ]; then
    printf '%s' "$version" >"$root/updata/ver.php.tmp"
    mv -f "$root/updata/ver.php.tmp" "$root/updata/ver.php"
  fi
  # A new inode, so a download of the old package in progress is not cut short.
  if [ -n "$package" ]; then
    cp "$package" "$root/updata/vd.exe.tmp"
    mv -f "$root/updata/vd.exe.tmp" "$root/updata/vd.exe"
  else
    rm -f "$root/updata/vd.exe"
  fi
}

make_conf() { # writes the config to $1
  local user_line= limit=
  # Workers started by root would drop to nobody, who cannot read a private state dir.
  [ "$(id -u)" -eq 0 ] && user_line="user $(id -un) $(id -gn);"
  [ $rate_limited -eq 1 ] && limit="limit_rate $rate;"
  cat >"$1" <<EOF
# Written by scripts/site.sh; changes are overwritten.
$user_line
worker_processes 1;
daemon on;
pid $pidfile;
error_log $state/logs/error.log warn;
events { worker_connections 128; }
http {
    types {
        text/html html htm;
        text/css css;
        application/javascript js;
        image/svg+xml svg;
        image/png png;
        text/plain php txt;
        application/octet-stream exe;
    }
    default_type application/octet-stream;
    charset utf-8;
    charset_types text/html text/css application/javascript image/svg+xml;
    log_format site '\$remote_addr [\$time_local] "\$request" \$status \$body_bytes_sent '
                    'range="\$http_range" content_range="\$sent_http_content_range" '
                    'ua="\$http_user_agent"';
    access_log $state/logs/access.log site;
    client_body_temp_path $state/tmp/body;
    proxy_temp_path $state/tmp/proxy;
    fastcgi_temp_path $state/tmp/fastcgi;
    uwsgi_temp_path $state/tmp/uwsgi;
    scgi_temp_path $state/tmp/scgi;
    sendfile on;
    server_tokens off;
    etag off;
    if_modified_since off;
    keepalive_timeout 5;

    server {
        listen 127.0.0.1:$port;
        server_name _;
        root $root;
        index index20.html;
        location /updata/ {
            $limit
            add_header Cache-Control no-cache;
        }
        location = /updata/ver.php {
            charset gbk;
            charset_types text/plain;
            add_header Cache-Control no-cache;
        }
    }
}
EOF
}

write_files() { # leaves 1 in $conf_changed when the config on disk changed
  mkdir -p "$state/logs" "$state/tmp"
  make_root
  make_conf "$conf.new"
  conf_changed=1
  if cmp -s "$conf.new" "$conf"; then conf_changed=0; rm -f "$conf.new"; else mv -f "$conf.new" "$conf"; fi
}

start() {
  local old_port pid old_workers
  old_port=$(saved_port)
  if pid=$(server_pid); then
    write_files
    if [ "$conf_changed" -eq 1 ]; then
      [ "$port" != "$old_port" ] && port_taken "$port" && die "port $port on 127.0.0.1 is in use by another program"
      "$NGINX" -p "$state" -c "$conf" -e "$state/logs/error.log" -t -q || die "bad config: $conf"
      # The old workers go once the new ones serve; wait for that, not longer than 5 s.
      old_workers=$(pgrep -P "$pid" || true)
      kill -HUP "$pid"
      echo "$port" >"$state/port"
      for _ in $(seq 50); do
        local w left=0
        for w in $old_workers; do kill -0 "$w" 2>/dev/null && left=1; done
        [ $left -eq 0 ] && break
        sleep 0.1
      done
      for _ in $(seq 50); do answers "$port" && { echo "site reloaded on http://127.0.0.1:$port/"; return 0; }; sleep 0.1; done
      die "the reloaded server does not answer on port $port (see $state/logs/error.log)"
    fi
    answers "$port" || die "nginx runs (pid $pid) but does not answer on port $port (see $state/logs/error.log)"
    return 0
  fi
  port_taken "$port" && die "port $port on 127.0.0.1 is in use by another program"
  write_files
  echo "$port" >"$state/port"
  rm -f "$pidfile"
  if ! "$NGINX" -p "$state" -c "$conf" -e "$state/logs/error.log" 2>"$state/logs/start.err"; then
    grep -q 'Address already in use' "$state/logs/start.err" &&
      die "port $port on 127.0.0.1 is in use by another program"
    die "nginx did not start: $(tail -n 1 "$state/logs/start.err")"
  fi
  for _ in $(seq 50); do
    answers "$port" && { echo "site on http://127.0.0.1:$port/ (state $state)"; return 0; }
    sleep 0.1
  done
  die "nginx started but does not answer on port $port (see $state/logs/error.log)"
}

stop() {
  local pid
  pid=$(server_pid) || { rm -f "$pidfile"; return 0; }
  kill -TERM "$pid"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
  rm -f "$pidfile"
}

selftest() {
  local dir p pass=0 fail=0 ua="site-selftest/1 (range check)"
  dir=$(mktemp -d /tmp/site-selftest.XXXXXX)
  # shellcheck disable=SC2064
  trap "bash '$0' stop --state '$dir/state' >/dev/null 2>&1; bash '$0' stop --state '$dir/other' >/dev/null 2>&1; rm -rf '$dir'" EXIT
  check() { # name, then a command that must succeed
    local name=$1; shift
    if "$@" >/dev/null 2>&1; then pass=$((pass + 1)); echo "ok   $name"
    else fail=$((fail + 1)); echo "FAIL $name"; fi
  }
  head -c 100000 /dev/urandom >"$dir/pkg.bin"
  for _ in 1 2 3 4 5 6 7 8; do
    p=$((20000 + RANDOM % 40000))
    port_taken "$p" && continue
    bash "$0" start --state "$dir/state" --port "$p" --package "$dir/pkg.bin" >/dev/null 2>"$dir/start.err" && break
    grep -q 'in use' "$dir/start.err" || { cat "$dir/start.err"; echo "0 passed, 1 failed"; return 1; }
  done
  local base=http://127.0.0.1:$p
  get() { curl -s -m 5 -A "$ua" "$@"; }

  check "index20.html is 200 html utf-8 with the title" eval \
    "[ \"\$(get -o '$dir/index' -w '%{http_code} %{content_type}' $base/index20.html)\" = '200 text/html; charset=utf-8' ] &&
     grep -q '<title>Vondrel 快递查询</title>' '$dir/index'"
  check "/ shows index20.html" eval "get -f $base/ | cmp - '$dir/index'"
  check "help, carriers, script, style and logo are served" eval \
    "for f in help.html carriers.html app.js style.css logo.svg; do get -f -o /dev/null $base/\$f || exit 1; done"
  check "the page names no outside address" eval \
    "! grep -rEl '(src|href)=\"(https?:)?//|url\\((https?:)?//' '$src/site'"
  check "ver.php is 2.1 as text/plain" eval \
    "[ \"\$(get -o '$dir/ver' -w '%{http_code} %{content_type}' $base/updata/ver.php)\" = '200 text/plain; charset=gbk' ] &&
     [ \"\$(cat '$dir/ver')\" = 2.1 ]"
  check "vd.exe whole: 200 octet-stream, the same bytes" eval \
    "[ \"\$(get -o '$dir/whole' -w '%{http_code} %{content_type}' $base/updata/vd.exe)\" = '200 application/octet-stream' ] &&
     cmp '$dir/whole' '$dir/pkg.bin'"
  # byte range, first byte, length, Content-Range
  local r
  for r in "0-0 0 1 bytes 0-0/100000" "1000-1999 1000 1000 bytes 1000-1999/100000" \
           "60000- 60000 40000 bytes 60000-99999/100000" "99999- 99999 1 bytes 99999-99999/100000" \
           "-10 99990 10 bytes 99990-99999/100000"; do
    set -- $r
    check "Range bytes=$1 gives 206, $3 bytes from $2" eval \
      "[ \"\$(get -D '$dir/hdr' -o '$dir/part' -w '%{http_code}' -H 'Range: bytes=$1' $base/updata/vd.exe)\" = 206 ] &&
       tr -d '\\r' <'$dir/hdr' | grep -qix 'Content-Range: $4 $5' &&
       [ \$(stat -c %s '$dir/part') = $3 ] && cmp -n $3 '$dir/part' '$dir/pkg.bin' 0 $2"
  done
  check "a range past the end is 416" eval \
    "[ \"\$(get -o /dev/null -w '%{http_code}' -H 'Range: bytes=100000-' $base/updata/vd.exe)\" = 416 ]"
  check "the access log holds the request, Range and User-Agent" \
    grep -qF "\"GET /updata/vd.exe HTTP/1.1\" 206 1000 range=\"bytes=1000-1999\" content_range=\"bytes 1000-1999/100000\" ua=\"$ua\"" \
    "$dir/state/logs/access.log"
  check "status is 0 while running" bash "$0" status --state "$dir/state"
  check "start again keeps the same server" eval \
    "pid=\$(cat '$dir/state/nginx.pid') && bash '$0' start --state '$dir/state' --port $p --package '$dir/pkg.bin' &&
     [ \"\$(cat '$dir/state/nginx.pid')\" = \"\$pid\" ]"
  check "start with --version 2.2 serves 2.2 at once" eval \
    "bash '$0' start --state '$dir/state' --port $p --version 2.2 && [ \"\$(get $base/updata/ver.php)\" = 2.2 ] &&
     [ \"\$(get -o /dev/null -w '%{http_code}' $base/updata/vd.exe)\" = 404 ]"
  check "another state dir on the same port fails with one line" eval \
    "! bash '$0' start --state '$dir/other' --port $p 2>'$dir/clash' && [ \$(wc -l <'$dir/clash') = 1 ] &&
     grep -q 'port $p on 127.0.0.1 is in use' '$dir/clash'"
  check "the rate-limited location sends slowly" eval \
    "bash '$0' start --state '$dir/state' --port $p --package '$dir/pkg.bin' --rate-limited-location --rate 40k &&
     t=\$(get -o /dev/null -w '%{time_total}' $base/updata/vd.exe) && awk -v t=\$t 'BEGIN { exit !(t >= 0.8) }'"
  check "the source tree holds no package" test ! -e "$src/site/updata/vd.exe"
  check "stop ends the server" eval \
    "bash '$0' stop --state '$dir/state' && ! bash '$0' status --state '$dir/state' && ! port_taken $p"
  echo "$pass passed, $fail failed"
  [ "$fail" -eq 0 ]
}

case "$cmd" in
  start) [ -x "$NGINX" ] || die "nginx is missing ($NGINX); run: make deps-base"; start ;;
  stop) stop ;;
  status)
    if running; then echo "running on http://127.0.0.1:$(saved_port)/ (pid $(server_pid))"; else echo "not running"; exit 1; fi ;;
  config) write_files; echo "$conf" ;;
  selftest) selftest ;;
  *) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
