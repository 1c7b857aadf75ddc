#!/usr/bin/env bash
# Runs the release binary under valgrind over a handful of end-to-end runs against Python's
# http.server on loopback (plain and TLS) (inside a private network namespace it enters itself); any memory
# error or leak ends it non-zero.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${PAGEGLEAN_VALGRIND_INSIDE:-}" != 1 ]; then
  export PAGEGLEAN_VALGRIND_INSIDE=1
  (cd "$top" && cmake --workflow --preset release >/dev/null)
  if [ "$(id -u)" = 0 ]; then exec unshare --net bash "$0" "$@"; fi
  exec unshare --user --map-root-user --net bash "$0" "$@"
fi
ip link set lo up

work=$(mktemp -d)
server= tls_server=
trap 'kill "$server" "$tls_server" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/site/dir" "$work/run"
head -c 1048576 /dev/urandom > "$work/site/file.bin"
python3 -m http.server 80 --bind 127.0.0.81 --directory "$work/site" >/dev/null 2>&1 &
server=$!
# the same files over TLS, with a certificate the program trusts through SSL_CERT_FILE
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.83 \
  -addext subjectAltName=IP:127.0.0.83 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
export SSL_CERT_FILE=$work/cert.pem
python3 - "$work" <<'PY' >/dev/null 2>&1 &
import functools, http.server, ssl, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1] + "/site")
server = http.server.HTTPServer(("127.0.0.83", 443), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1] + "/cert.pem", sys.argv[1] + "/key.pem")
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
PY
tls_server=$!
for address in 127.0.0.81/80 127.0.0.83/443; do
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/$address") 2>/dev/null && break
    sleep 0.1
  done
done

binary=$top/build/release/pageglean
failed=0
check() {
  local expected=$1
  shift
  local status=0
  (cd "$work/run" && valgrind -q --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect "$binary" "$@" >/dev/null </dev/null) || status=$?
  if [ "$status" != "$expected" ]; then
    echo "valgrind: pageglean $* ended with $status, not $expected"
    failed=1
  else
    echo "valgrind: pageglean $* clean"
  fi
}

check 0 http://127.0.0.81/file.bin file.bin
cmp -s "$work/run/file.bin" "$work/site/file.bin" || { echo "valgrind: file.bin differs"; failed=1; }
check 0 -q http://127.0.0.81/dir listing.html       # a redirect to /dir/
check 0 -head http://127.0.0.81/file.bin /dev/null
check 0 -q https://127.0.0.83/file.bin tls.bin
cmp -s "$work/run/tls.bin" "$work/site/file.bin" || { echo "valgrind: tls.bin differs"; failed=1; }
check 0                                              # no arguments
check 1 -q 'scheme:///x'                             # empty host, key wait ends at once
check 1 -q http://127.0.0.81/file.bin missing/out    # file problem, 6 s wait

# The sanitizer runtime of the test build reopens closed standard descriptors itself, so
# only this plain build shows whether a socket or file could take descriptor 0 or 1.
(cd "$work/run" && "$binary" http://127.0.0.81/file.bin closed.bin <&- >&-) || failed=1
if cmp -s "$work/run/closed.bin" "$work/site/file.bin"; then
  echo "closed standard input and output: body exact"
else
  echo "closed standard input and output: the body differs"
  failed=1
fi
exit $failed
