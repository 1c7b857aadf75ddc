#!/usr/bin/env bash
# Times `pageglean -q URL out` against curl and wget on files served by a local nginx, run by
# run interleaved, each writing into a fresh directory on the same disk; checks every output.
# Prints per size and tool the median wall time, median user+sys CPU, peak memory and the
# ratio to curl; the last line is `ratio_1g_vs_curl=X.XX peak_rss_1g_kib=N`.
#
#   bench/run.sh [runs]        (default 7 runs per size and tool; 1 GiB gets half as many)
#
# It runs in a private network namespace with only loopback up (entered by itself), so
# nothing leaves the machine. Needs nginx, curl, wget and GNU time (/usr/bin/time).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}

if [ "${PAGEGLEAN_BENCH_INSIDE:-}" != 1 ]; then
  export PAGEGLEAN_BENCH_INSIDE=1
  if [ "$(id -u)" = 0 ]; then
    exec unshare --net bash "$0" "$@"
  fi
  exec unshare --user --map-root-user --net bash "$0" "$@"
fi

for tool in nginx curl wget /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
ip link set lo up

binary=$top/build/release/pageglean
if [ ! -x "$binary" ]; then
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
    listen 127.0.0.80:80;
    root $work/www;
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" -g "user $(id -un);" 2>/dev/null || nginx -c "$work/nginx/nginx.conf"
trap 'kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true' EXIT
sleep 0.3

results=$work/results.txt
: > "$results"
now_ns() { date +%s%N; }

# one timed run: wall ns, user+sys seconds and peak KiB appended to the results
run_one() {
  local size=$1 tool=$2 dir=$3 url=http://127.0.0.80/$1.bin
  local start end
  rm -rf "$dir" && mkdir -p "$dir"
  cd "$dir"
  start=$(now_ns)
  case $tool in
    pageglean) /usr/bin/time -f '%U %S %M' -o time.txt "$binary" -q "$url" out ;;
    curl) /usr/bin/time -f '%U %S %M' -o time.txt curl -s --http1.0 -o out "$url" ;;
    wget) /usr/bin/time -f '%U %S %M' -o time.txt wget -q -O out "$url" ;;
  esac
  end=$(now_ns)
  cmp -s out "$work/www/$size.bin" || { echo "bench: $tool's output for $size MiB differs" >&2; exit 1; }
  read -r user sys kib < time.txt
  echo "$size $tool $((end - start)) $user $sys $kib" >> "$results"
  cd "$work"
}

for size in 1 64 1024; do
  n=$runs
  [ "$size" = 1024 ] && n=$(( (runs + 1) / 2 ))
  # one round first that is not counted: the page cache and, on a virtual machine, the
  # memory behind it are then as warm for the first tool as for the last
  for ((i = -1; i < n; i++)); do
    for tool in pageglean curl wget; do
      run_one "$size" "$tool" "$work/run/$tool"
    done
    if [ "$i" -lt 0 ]; then sed -i "/^$size /d" "$results"; fi
  done
done
rm -rf "$work/run"

awk '
  function median(list, count,    sorted, i, j, t) {
    for (i = 1; i <= count; i++) sorted[i] = list[i]
    for (i = 2; i <= count; i++)
      for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
    return count % 2 ? sorted[(count + 1) / 2] : (sorted[count / 2] + sorted[count / 2 + 1]) / 2
  }
  {
    key = $1 " " $2; n = ++count[key]
    wall[key, n] = $3 / 1e6; cpu[key, n] = $4 + $5
    if ($6 > peak[key]) peak[key] = $6
  }
  END {
    printf "%-6s %-10s %6s %12s %12s %10s %10s\n", "size", "tool", "runs", "wall_ms", "cpu_ms", "peak_kib", "vs_curl"
    split("1 64 1024", sizes, " "); split("pageglean curl wget", tools, " ")
    for (s = 1; s <= 3; s++) {
      for (t = 1; t <= 3; t++) {
        key = sizes[s] " " tools[t]; n = count[key]
        for (i = 1; i <= n; i++) { w[i] = wall[key, i]; c[i] = cpu[key, i] }
        mw[key] = median(w, n); mc = median(c, n) * 1000
      }
      for (t = 1; t <= 3; t++) {
        key = sizes[s] " " tools[t]
        n = count[key]
        for (i = 1; i <= n; i++) c[i] = cpu[key, i]
        printf "%-6s %-10s %6d %12.1f %12.1f %10d %10.2f\n", (sizes[s] == 1024 ? "1GiB" : sizes[s] "MiB"), tools[t], n, mw[key], median(c, n) * 1000, peak[key], mw[key] / mw[sizes[s] " curl"]
      }
    }
    printf "ratio_1g_vs_curl=%.2f peak_rss_1g_kib=%d\n", mw["1024 pageglean"] / mw["1024 curl"], peak["1024 pageglean"]
  }
' "$results"
