#!/usr/bin/env bash
# Times pageglean against `curl -s --http1.0` on files served by a local nginx, each size
# plainly and over TLS (the TLS rows against curl over TLS, with a certificate made for the
# run), the two rows of a size beside each other. Each row is
# a series of pairs: one run of the row's tool and one run of curl, back to back, in
# alternating order, each writing into a fresh directory on the same disk; every output is
# checked. Per row it prints the median wall time, the median of the per-pair ratios to
# curl with their spread (quartiles and extremes), and the peak memory. The A/A row times
# curl against curl and shows the noise of the machine. The last line is
# `ratio_1g_vs_curl=X.XX ratio_1g_tls_vs_curl=X.XX peak_rss_kib=N peak_tls_rss_kib=N` (the
# quiet 1 GiB rows; the largest peak of any plain and of any TLS pageglean row).
#
#   bench/run.sh [pairs]      (default 15 pairs per row)
#
# PAGEGLEAN_BENCH_BINARY times another build; PAGEGLEAN_BENCH_BASELINE adds rows for an older
# build (`baseline`) to compare with in the same sitting. It runs in a private network namespace with
# only loopback up (entered by itself), so nothing leaves the machine. Needs nginx, curl
# openssl and GNU time (/usr/bin/time).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
pairs=${1:-15}

if [ "${PAGEGLEAN_BENCH_INSIDE:-}" != 1 ]; then
  export PAGEGLEAN_BENCH_INSIDE=1
  if [ "$(id -u)" = 0 ]; then
    exec unshare --net bash "$0" "$@"
  fi
  exec unshare --user --map-root-user --net bash "$0" "$@"
fi

for tool in nginx curl openssl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
ip link set lo up

binary=${PAGEGLEAN_BENCH_BINARY:-$top/build/release/pageglean}
if [ -z "${PAGEGLEAN_BENCH_BINARY:-}" ]; then
  (cd "$top" && cmake --workflow --preset release >/dev/null)
fi

work=${PAGEGLEAN_BENCH_DIR:-$top/build/bench}
mkdir -p "$work/www" "$work/nginx"
for size in 1 64 1024; do
  file=$work/www/$size.bin
  # random data, made once and kept for later runs
  [ -f "$file" ] && [ "$(stat -c %s "$file")" = $((size * 1048576)) ] ||
    head -c $((size * 1048576)) /dev/urandom > "$file"
done

[ -f "$work/nginx/cert.pem" ] ||
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=127.0.0.78 \
    -addext subjectAltName=IP:127.0.0.78 -keyout "$work/nginx/key.pem" \
    -out "$work/nginx/cert.pem" 2>/dev/null
export SSL_CERT_FILE=$work/nginx/cert.pem
cat > "$work/nginx/nginx.conf" <<CONF
daemon on;
master_process on;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  sendfile on;
  server {
    listen 127.0.0.78:80;
    listen 127.0.0.78:443 ssl;
    ssl_certificate $work/nginx/cert.pem;
    ssl_certificate_key $work/nginx/key.pem;
    root $work/www;
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" -g "user $(id -un);" 2>/dev/null || nginx -c "$work/nginx/nginx.conf"
trap 'kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true' EXIT
sleep 0.3

now_ns() { date +%s%N; }

# One timed run of a tool; prints "wall_ns peak_kib".
run_one() {
  local size=$1 tool=$2 dir=$3 url=http://127.0.0.78/$1.bin
  local start end
  rm -rf "$dir" && mkdir -p "$dir"
  cd "$dir"
  start=$(now_ns)
  case $tool in
    pageglean) /usr/bin/time -f '%M' -o time.txt "$binary" -q "$url" out ;;
    pageglean-loud) /usr/bin/time -f '%M' -o time.txt "$binary" "$url" out > log.txt ;;
    pageglean-tls) /usr/bin/time -f '%M' -o time.txt "$binary" -q "https${url#http}" out ;;
    baseline) /usr/bin/time -f '%M' -o time.txt "$PAGEGLEAN_BENCH_BASELINE" -q "$url" out ;;
    baseline-tls) /usr/bin/time -f '%M' -o time.txt "$PAGEGLEAN_BENCH_BASELINE" -q \
      "https${url#http}" out ;;
    curl) /usr/bin/time -f '%M' -o time.txt curl -s --http1.0 -o out "$url" ;;
    curl-tls) /usr/bin/time -f '%M' -o time.txt curl -s --http1.0 --cacert "$SSL_CERT_FILE" \
      -o out "https${url#http}" ;;
  esac
  end=$(now_ns)
  cmp -s out "$work/www/$size.bin" || { echo "bench: $tool's output for $size MiB differs" >&2; exit 1; }
  echo "$((end - start)) $(cat time.txt)"
  cd "$work"
  rm -rf "$dir"
}

results=$work/results.txt
: > "$results"
rows=("1 pageglean" "1 pageglean-tls" "64 pageglean" "64 pageglean-tls" "1024 pageglean"
      "1024 pageglean-tls" "1024 pageglean-loud"
      "1 curl" "1 curl-tls" "64 curl" "64 curl-tls" "1024 curl" "1024 curl-tls")
if [ -n "${PAGEGLEAN_BENCH_BASELINE:-}" ]; then
  rows+=("1 baseline" "1 baseline-tls" "64 baseline" "64 baseline-tls" "1024 baseline"
         "1024 baseline-tls")
fi
for row in "${rows[@]}"; do
  read -r size tool <<<"$row"
  # each is paired with curl over the same transport
  partner=curl
  [[ $tool == *-tls ]] && partner=curl-tls
  # one pair first that is not counted: the page cache and, on a virtual machine, the
  # memory behind it are then as warm for the one as for the other
  for ((i = -1; i < pairs; i++)); do
    if ((i % 2)); then
      mine=$(run_one "$size" "$tool" "$work/run/a"); theirs=$(run_one "$size" $partner "$work/run/b")
    else
      theirs=$(run_one "$size" $partner "$work/run/b"); mine=$(run_one "$size" "$tool" "$work/run/a")
    fi
    ((i < 0)) || echo "$size $tool $mine $theirs" >> "$results"
  done
done

awk '
  function sort(list, count,    i, j, t) {
    for (i = 2; i <= count; i++)
      for (j = i; j > 1 && list[j - 1] > list[j]; j--) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
  }
  function at(list, count, q) { return list[int(q * (count - 1) + 0.5) + 1] }
  {
    key = $1 " " $2; n = ++count[key]; order[key] = order[key] ? order[key] : ++rows; name[rows] = key
    wall[key, n] = $3 / 1e6; ratio[key, n] = $3 / $5
    if ($4 > peak[key]) peak[key] = $4
  }
  END {
    printf "%-6s %-15s %5s %9s %9s %19s %13s %9s\n", "size", "row", "pairs", "wall_ms", "vs_curl", "quartiles", "extremes", "peak_kib"
    for (r = 1; r <= rows; r++) {
      key = name[r]; n = count[key]; split(key, part, " ")
      for (i = 1; i <= n; i++) { w[i] = wall[key, i]; q[i] = ratio[key, i] }
      sort(w, n); sort(q, n)
      tls = part[2] ~ /-tls$/; tool = part[2]; sub(/-tls$/, "", tool)
      label = (tool == "curl" ? "curl (A/A)" : tool) (tls ? " TLS" : "")
      printf "%-6s %-15s %5d %9.1f %9.2f %9.2f-%-9.2f %6.2f-%-6.2f %9d\n", (part[1] == 1024 ? "1GiB" : part[1] "MiB"), label, n, at(w, n, 0.5), at(q, n, 0.5), at(q, n, 0.25), at(q, n, 0.75), q[1], q[n], peak[key]
      if (key == "1024 pageglean") headline = at(q, n, 0.5)
      if (key == "1024 pageglean-tls") headline_tls = at(q, n, 0.5)
      if (tool ~ /^pageglean/ && !tls && peak[key] > worst) worst = peak[key]
      if (tool ~ /^pageglean/ && tls && peak[key] > worst_tls) worst_tls = peak[key]
    }
    printf "ratio_1g_vs_curl=%.2f ratio_1g_tls_vs_curl=%.2f peak_rss_kib=%d peak_tls_rss_kib=%d\n",
           headline, headline_tls, worst, worst_tls
  }
' "$results"
