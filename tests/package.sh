#!/usr/bin/env bash
# Checks the hardening of the release build, builds the Debian package, has lintian judge
# it, installs it, has the installed program download pages on loopback, reads its manual
# page, and removes the package again. Needs root (dpkg).
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

# read whole first: grep -q would close the pipe early, and pipefail would count that
binary=build/release/pageglean
header=$(readelf -h "$binary") dynamic=$(readelf -d "$binary") segments=$(readelf -l "$binary")
symbols=$(readelf --dyn-syms -W "$binary")
grep -q 'Type:.*DYN' <<<"$header" || { echo "package: not position-independent"; exit 1; }
grep -q 'BIND_NOW\|FLAGS.*NOW' <<<"$dynamic" || { echo "package: no BIND_NOW"; exit 1; }
grep -q GNU_RELRO <<<"$segments" || { echo "package: no RELRO"; exit 1; }
# every buffer call of the program has a size the compiler proves at build time, so no
# __*_chk call is left to see in the binary; the flag is checked where it is used instead
grep -q -- '-D_FORTIFY_SOURCE=2' build/release/CMakeFiles/pageglean_core.dir/flags.make ||
  { echo "package: not built with _FORTIFY_SOURCE"; exit 1; }
grep -q '__stack_chk_fail' <<<"$symbols" || { echo "package: no stack protector"; exit 1; }
# the C++ runtime is the system's, so its fixes reach the program without a rebuild
grep -q 'NEEDED.*libstdc++' <<<"$dynamic" || { echo "package: C++ runtime linked in"; exit 1; }
# libssl is loaded at run time, so the package names it itself, at the lowest version whose
# symbol versions the calls are bound at, and the program names it in its dlopen note
# (checked on the installed program, after the package's strip)
depends=$(dpkg-deb --field "$deb" Depends)
grep -q 'libssl[^ ,]* (>= 3\.0\.0)' <<<"$depends" ||
  { echo "package: no versioned dependency on libssl: $depends"; exit 1; }
grep -q 'dlvsym' <<<"$symbols" || { echo "package: libssl's calls not pinned to a version"; exit 1; }
lintian --fail-on error,warning --suppress-tags-from-file /dev/null "$deb"

dpkg -i "$deb" >/dev/null
trap 'dpkg -r pageglean >/dev/null 2>&1 || true' EXIT
notes=$(readelf -n /usr/bin/pageglean) note=$(readelf -p .note.dlopen /usr/bin/pageglean)
grep -q 'FDO.*0x407c0c0a' <<<"$notes" && grep -q '"soname":\["libssl.so.3"\]' <<<"$note" ||
  { echo "package: no dlopen note naming libssl.so.3"; exit 1; }
man -w pageglean >/dev/null
MANWIDTH=80 man -P cat pageglean 2>/dev/null | grep -q 'download a web page'

# the installed program passes the loud page and the TLS page of the end-to-end table
python3 tests/end_to_end/e2e.py /usr/bin/pageglean "a page, loud" "a page over TLS"

dpkg -r pageglean >/dev/null
trap - EXIT
[ ! -e /usr/bin/pageglean ] && [ ! -e /usr/share/man/man1/pageglean.1.gz ]
echo "package: $(basename "$deb") installs, downloads, shows its manual page and removes cleanly"
