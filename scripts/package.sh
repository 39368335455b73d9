#!/usr/bin/env bash
# Builds the Debian package from a release build with Debian's hardening flags and checks it:
#   bash scripts/package.sh
# The package (orvik_<version>_<arch>.deb) is left in build-package/. Checks: lintian
# reports no errors; desktop-file-validate and appstreamcli pass on the installed files; the
# programs are hardened and have manual pages that render without warnings; the
# package's contents, unpacked into a temporary root, start headless with a temporary home,
# write their settings into its XDG configuration folder on SIGTERM, and a program in the
# unpacked bin/ finds the Bulgarian catalogue.
set -euo pipefail
umask 022
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ORVIK_ROOT/scripts/setup.sh"
orvik_install_packages "${ORVIK_PACKAGE_TOOLS[@]}"

build=${ORVIK_PACKAGE_DIR:-$ORVIK_ROOT/build-package}
app_id=$(sed -n 's/^set(ORVIK_APP_ID "\(.*\)")$/\1/p' "$ORVIK_ROOT/CMakeLists.txt")
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

step() { echo "== $*"; }

step "release build with Debian's hardening flags"
# The flags Debian's own packages are built with (dpkg-buildflags), all hardening features on:
# stack protector, fortified libc calls, format checks, read-only relocations bound at start.
# Run from the source folder, whose path the flags map to "." in the debugging information.
eval "$(cd "$ORVIK_ROOT" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
echo "CXXFLAGS=$CPPFLAGS $CXXFLAGS"
echo "LDFLAGS=$LDFLAGS"
# The tests are configured only for the catalogue probe; the package holds the programs.
# -O2 as in bench.sh: GCC 12's -O3 raises false -Wrestrict warnings in std::string.
cmake -S "$ORVIK_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  "-DCMAKE_C_FLAGS=$CPPFLAGS $CFLAGS" "-DCMAKE_CXX_FLAGS=$CPPFLAGS $CXXFLAGS" \
  "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS" "-DCMAKE_SHARED_LINKER_FLAGS=$LDFLAGS" \
  -DORVIK_BUILD_BENCH=OFF -DORVIK_BUILD_TESTS=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvik orvik-devsim orvik-cli orvik_locale orvik_changelog orvik_man \
  orvik_locale_probe

step "package"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
echo "$deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

step "lintian"
lintian --fail-on error --info "$deb"
echo "lintian: no errors"

root=$work/root
dpkg-deb -x "$deb" "$root"
step "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
echo "desktop-file-validate: passed"
step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"

step "stripped"
for b in "$root"/usr/bin/*; do
  if readelf -S "$b" | grep -q '\.symtab'; then
    echo "not stripped: $b" >&2
    exit 1
  fi
  echo "$(basename "$b"): stripped"
done
"$root/usr/bin/orvik-devsim" --version
"$root/usr/bin/orvik-cli" --version

step "hardened"
# Position-independent, read-only relocations bound at start, stack protector, fortified calls.
for b in "$root"/usr/bin/*; do
  name=$(basename "$b")
  # Read whole before grep: with pipefail a grep -q that stops early would fail the pipe.
  elf=$(readelf -hldW --dyn-syms "$b")
  grep -q 'Type:[[:space:]]*DYN' <<<"$elf" || { echo "$name: not position-independent" >&2; exit 1; }
  grep -q 'GNU_RELRO' <<<"$elf" || { echo "$name: no read-only relocations" >&2; exit 1; }
  grep -qE 'BIND_NOW|FLAGS.*[[:space:]]NOW' <<<"$elf" || { echo "$name: not bound at start" >&2; exit 1; }
  grep -q '__stack_chk_fail' <<<"$elf" || { echo "$name: no stack protector" >&2; exit 1; }
  grep -qE '__[a-z_]+_chk' <<<"$elf" || { echo "$name: no fortified calls" >&2; exit 1; }
  echo "$name: PIE, RELRO, BIND_NOW, stack protector, fortified"
done

step "manual pages"
for b in "$root"/usr/bin/*; do
  name=$(basename "$b")
  page=$root/usr/share/man/man1/$name.1.gz
  [ -f "$page" ] || { echo "no manual page for $name" >&2; exit 1; }
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$name.1: $warnings" >&2; exit 1; }
  echo "$name.1: $(lexgrog "$page" | cut -d'"' -f2)"
done

step "--help and --version without a display"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/orvik" --version
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/orvik" --help | sed -n 1p

step "start headless, end on SIGTERM"
home=$work/home
mkdir -p "$home"
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen "$root/usr/bin/orvik" &
pid=$!
# Ready once it handles SIGTERM (bit 15 of the caught-signals mask).
for _ in $(seq 300); do
  mask=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null || true)
  [ -n "$mask" ] && (((0x$mask >> 14) & 1)) && break
  sleep 0.1
done
t0=$(date +%s%N)
kill -TERM "$pid"
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "orvik still running 5 s after SIGTERM" >&2
  exit 1
fi
status=0
wait "$pid" || status=$?
pid=
echo "ended in $((($(date +%s%N) - t0) / 1000000)) ms with status $status"
settings=$home/.config/Orvik/Orvik.ini
if [ "$status" != 0 ] || ! grep -q '^\[Com\]' "$settings" 2>/dev/null; then
  echo "no settings written to $settings" >&2
  exit 1
fi
echo "settings written to ~/.config/Orvik/Orvik.ini:"
sed 's/^/  /' "$settings"
[ -d "$home/.local/share/Orvik" ] && echo "data folder ~/.local/share/Orvik made"

step "Bulgarian catalogue from the unpacked bin/"
cp "$build/bin/orvik_locale_probe" "$root/usr/bin/"
texts=$(LC_ALL=C.UTF-8 LANGUAGE=bg QT_QPA_PLATFORM=offscreen "$root/usr/bin/orvik_locale_probe")
rm "$root/usr/bin/orvik_locale_probe"
if ! grep -q $'^ComSetupFrm\tНастройка$' <<<"$texts"; then
  echo "the Bulgarian catalogue was not found from $root/usr/bin" >&2
  exit 1
fi
grep -m3 -E '^ComSetupFrm' <<<"$texts"
echo "package.sh: every check passed: $deb"
