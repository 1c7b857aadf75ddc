#!/usr/bin/env bash
# Builds the Debian package, installs it, downloads a page on loopback with the installed
# program, reads its manual page, and removes the package again. Needs root (dpkg).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" != 0 ]; then
  echo "package: skipped, dpkg needs root"
  exit 0
fi
if dpkg -s pageglean >/dev/null 2>&1; then
  echo "package: pageglean is installed already; not touching it"
  exit 1
fi

cd "$top"
cmake --workflow --preset release >/dev/null
rm -f build/release/pageglean_*.deb
(cd build/release && cpack >/dev/null 2>&1)
deb=$(ls build/release/pageglean_*.deb)

dpkg -i "$deb" >/dev/null
trap 'dpkg -r pageglean >/dev/null 2>&1 || true' EXIT
man -w pageglean >/dev/null
MANWIDTH=80 man -P cat pageglean 2>/dev/null | grep -q 'download a web page'

work=$(mktemp -d)
mkdir -p "$work/site" "$work/run"
printf 'installed and working\n' > "$work/site/index.html"
unshare --net bash -c '
  set -euo pipefail
  ip link set lo up
  python3 -m http.server 80 --bind 127.0.0.82 --directory "$1/site" >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.82/80) 2>/dev/null && break; sleep 0.1; done
  cd "$1/run"
  /usr/bin/pageglean -q http://127.0.0.82/index.html page.html
  kill $server
' bash "$work"
cmp -s "$work/run/page.html" "$work/site/index.html"
rm -rf "$work"

dpkg -r pageglean >/dev/null
trap - EXIT
[ ! -e /usr/bin/pageglean ] && [ ! -e /usr/share/man/man1/pageglean.1.gz ]
echo "package: $(basename "$deb") installs, downloads, shows its manual page and removes cleanly"
