#!/usr/bin/env bash
# The program against real web servers on loopback, inside a private network namespace that
# it enters itself: nginx (over plain HTTP and over TLS) and Python's http.server.
#
#   tests/interop.sh BINARY
#
# Exit 0 when every check passes, 1 when one fails, 77 (skipped) when a server or the
# namespace is missing; in CI (CI set) a missing server is a failure.
set -uo pipefail

binary=$(realpath "$1")
skip() {
  echo "interop: $1"
  if [ -n "${CI:-}" ]; then exit 1; fi
  exit 77
}
if [ "${PAGEGLEAN_INTEROP_INSIDE:-}" != 1 ]; then
  export PAGEGLEAN_INTEROP_INSIDE=1
  flags=(--net)
  [ "$(id -u)" = 0 ] || flags=(--user --map-root-user --net)
  unshare "${flags[@]}" true 2>/dev/null || skip "no private network namespace can be made"
  exec unshare "${flags[@]}" bash "$0" "$@"
fi
ip link set lo up

nginx=$(PATH=$PATH:/usr/sbin:/sbin command -v nginx) || skip "nginx is not installed"
command -v python3 >/dev/null || skip "python3 is not installed"
command -v openssl >/dev/null || skip "openssl is not installed"

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/site/files" "$work/nginx" "$work/run"
for file in 1k:1024 1m:1048576 64m:67108864; do
  head -c "${file#*:}" /dev/urandom > "$work/site/files/${file%:*}.bin"
done
touch -d '2006-10-31 14:39:28 UTC' "$work"/site/files/*.bin

# a certificate for the TLS server's address, trusted by the program through SSL_CERT_FILE
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.80 \
  -addext subjectAltName=IP:127.0.0.80 -keyout "$work/nginx/key.pem" \
  -out "$work/nginx/cert.pem" 2>/dev/null || skip "openssl cannot make a certificate"

# "user root root": in a user namespace that maps only root, nginx cannot hand its
# temporary folders to nobody
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
user root root;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 16; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.80:80;
    listen 127.0.0.80:443 ssl;
    ssl_certificate $work/nginx/cert.pem;
    ssl_certificate_key $work/nginx/key.pem;
    root $work/site;
    absolute_redirect off;
    location = /relative { return 302 /files/1k.bin; }
    location = /absolute { return 301 http://127.0.0.80/files/1k.bin; }
    location = /secure { return 301 https://127.0.0.80/files/1k.bin; }
    location = /loop { return 302 /loop; }
  }
}
CONF

# Starts a server in the background and waits until it answers on address:port.
start() {
  local address=$1 port=$2 log=$3
  shift 3
  "$@" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do
    (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null && return 0
    if ! kill -0 "${pids[-1]}" 2>/dev/null; then
      wait "${pids[-1]}"
      skip "$1 ended at start with exit status $?: $(tail -n 1 "$log")"
    fi
    sleep 0.05
  done
  skip "$1 did not answer on $address:$port: $(tail -n 1 "$log")"
}
start 127.0.0.80 80 "$work/nginx/start.log" "$nginx" -e "$work/nginx/error.log" -p "$work/nginx" \
  -c "$work/nginx/nginx.conf"
start 127.0.0.81 80 "$work/python.log" python3 -m http.server 80 --bind 127.0.0.81 \
  --directory "$work/site"

passed=0
failed=0
check() {
  if eval "$2"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "interop: FAILED: $1"
  fi
}
# Runs the program in the run folder; its output in $out, its exit status in $status.
run() {
  out=$(cd "$work/run" && SSL_CERT_FILE="$work/nginx/cert.pem" "$binary" "$@" </dev/null)
  status=$?
}
same() { cmp -s "$work/run/$1" "$work/site/files/$2"; }
holds() { [ "$(cat "$work/run/$1")" = "$(printf "$2")" ]; }

for name in 1k 1m 64m; do
  run -q "http://127.0.0.80/files/$name.bin" "$name.bin"
  check "nginx $name.bin" '[ $status = 0 ] && [ -z "$out" ] && same $name.bin $name.bin'
done
check "nginx Last-Modified" 'holds pageglean.modified "31 Oct 2006 14:39:28 GMT\r\n"'

echo old > "$work/run/head.out"
run -head http://127.0.0.80/files/1m.bin head.out
check "nginx HEAD" '[ $status = 0 ] && [[ $out == *$'"'"'Content-Length: 1048576\r'"'"'* ]] &&
  [[ $out == *$'"'"'\r\nData length:  0\r\n'"'"'* ]] && [ ! -s "$work/run/head.out" ]'

run -q http://127.0.0.80/relative r.bin
check "nginx relative redirect" '[ $status = 0 ] && same r.bin 1k.bin &&
  [ "$out" = $'"'"' 1. redirection, new start with: /files/1k.bin\r'"'"' ] &&
  holds pageglean.redirected "/files/1k.bin\r\n"'
run -q http://127.0.0.80/absolute a.bin
check "nginx absolute redirect" '[ $status = 0 ] && same a.bin 1k.bin'
run -q http://127.0.0.80/loop l.bin
check "nginx redirect loop" '[ $status = 1 ] &&
  [[ $out == *$'"'"' 6. redirection, new start with: /loop\r\nToo much (>5) redirections!\r'"'"'* ]]'
run -q http://127.0.0.80/missing.html missing.html
check "nginx 404 page saved" '[ $status = 0 ] && grep -q "<title>404 Not Found</title>" "$work/run/missing.html" &&
  [ ! -e "$work/run/pageglean.modified" ]'

run -q https://127.0.0.80/files/64m.bin tls.bin
check "nginx over TLS" '[ $status = 0 ] && [ -z "$out" ] && same tls.bin 64m.bin'
run -q http://127.0.0.80/secure s.bin
check "nginx redirect from http to https" '[ $status = 0 ] && same s.bin 1k.bin'

run -q http://127.0.0.81/files/1m.bin p.bin
check "python file" '[ $status = 0 ] && same p.bin 1m.bin &&
  holds pageglean.modified "31 Oct 2006 14:39:28 GMT\r\n"'
run -q http://127.0.0.81/nothing-here nothing.html
check "python 404 page saved" '[ $status = 0 ] && grep -q 404 "$work/run/nothing.html"'

echo "interop: $passed passed, $failed failed"
[ "$failed" = 0 ]
