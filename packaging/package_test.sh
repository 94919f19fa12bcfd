#!/usr/bin/env bash
# The Debian package, built from the build tree with cpack: its contents, and
# the programs extracted from it running on their own (the station finds its
# UI runtime in ../lib/kavelin2/ of the extracted tree) through a headless
# exchange with the extracted simulator.
#   packaging/package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kavelin2-package-XXXXXX")
station_pid=""
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$station_pid" ] && kill -9 "$station_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package_test: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/out/kavelin2_*.deb)

# What the package holds and declares.
listing=$(dpkg-deb -c "$deb")
for path in ./usr/bin/kavelin2 ./usr/bin/kavelin2-handheld ./usr/lib/kavelin2/libkavelin2ui.so \
    ./usr/share/man/man1/kavelin2.1.gz ./usr/share/man/man1/kavelin2-handheld.1.gz \
    './usr/lib/systemd/system/kavelin2@.service' ./usr/share/doc/kavelin2/README.service \
    ./usr/share/doc/kavelin2/copyright ./usr/share/doc/kavelin2/changelog.Debian.gz \
    ./usr/lib/kavelin2/kavelin2-alert ./usr/share/doc/kavelin2/examples/kavelin2.rules.yml; do
  grep -qF " $path" <<<"$listing" || fail "the package lacks $path"
done
grep -qE '^-rwxr-xr-x .* \./usr/lib/kavelin2/kavelin2-alert$' <<<"$listing" ||
  fail "the alert program is not executable"
if grep -E 'partial|_test|gtest|\.a$' <<<"$listing"; then fail "test files in the package"; fi
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6' <<<"$depends" || fail "Depends has no shared library dependencies: $depends"
grep -q 'adduser' <<<"$depends" || fail "Depends lacks adduser: $depends"
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "no $script"
  sh -n "$work/control/$script" || fail "$script is not a valid shell script"
done
grep -q 'dialout' "$work/control/postinst" || fail "postinst does not add the user to dialout"
if grep -q 'rm ' "$work/control/postrm"; then fail "postrm removes files"; fi
dpkg-deb -x "$deb" "$work/root"
grep -qx 'ExecStart=/usr/bin/kavelin2' "$work/root/usr/lib/systemd/system/kavelin2@.service" ||
  fail "the unit does not start /usr/bin/kavelin2"
doc="$work/root/usr/share/doc/kavelin2"
head -1 "$doc/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright is not machine-readable"
zcat "$doc/changelog.Debian.gz" | head -1 | grep -q "^kavelin2 ($(dpkg-deb -f "$deb" Version)) " ||
  fail "changelog.Debian does not begin with this version"
promtool check rules "$doc/examples/kavelin2.rules.yml" >/dev/null || fail "the rules do not check"

# The example alert program, without sendmail: one journal line through logger
# (a stand-in here, recording its arguments), else a line on standard error.
alert="$work/root/usr/lib/kavelin2/kavelin2-alert"
mkdir -p "$work/fakebin"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/logger.args"\n' "$work" > "$work/fakebin/logger"
chmod 755 "$work/fakebin/logger"
if [ ! -x /usr/sbin/sendmail ] && [ ! -x /usr/lib/sendmail ]; then
  env -i PATH="$work/fakebin:/usr/bin:/bin" KAVELIN2_ALERT_EVENT=line-lost \
    KAVELIN2_ALERT_TEXT='line 1 (COM1, /dev/ttyUSB0) lost for 61 s: No such device' \
    "$alert" line-lost line=1 || fail "the alert program failed"
  [ "$(cat "$work/logger.args")" = "$(printf '%s\n' -t kavelin2-alert -- \
    'line-lost: line 1 (COM1, /dev/ttyUSB0) lost for 61 s: No such device')" ] ||
    fail "the alert program logged: $(cat "$work/logger.args")"
  err=$(env -i PATH=/nonexistent KAVELIN2_ALERT_EVENT=result-log-failed KAVELIN2_ALERT_TEXT='x y' \
    /bin/sh "$alert" result-log-failed 2>&1 >/dev/null)
  [ "$err" = "kavelin2-alert: result-log-failed: x y" ] || fail "alert without logger: $err"
fi

# Lintian finds nothing (when installed; make deps installs it).
if command -v lintian >/dev/null; then
  tags=$(lintian --no-tag-display-limit "$deb" 2>&1 | grep -E '^[EW]: ' || true)
  [ -z "$tags" ] || fail "lintian: $tags"
fi

bin="$work/root/usr/bin"
# The extracted programs must not find anything of the build tree.
unset KAVELIN2_UI_LIBRARY
export LD_LIBRARY_PATH=

"$bin/kavelin2" --version | grep -qx "kavelin2 1.95" || fail "--version"

# The settings of a site, written with the extracted program.
site="$work/site"
mkdir -p "$site/TABLE" "$site/RECU" "$site/TRANS" "$site/LOG"
cd "$site"
"$bin/kavelin2" config set line1.active=yes line1.speed=115200 dir.tables=TABLE \
  dir.received=RECU/ dir.to_send=TRANS/ dir.log=LOG/ language=English \
  schedule.quit_after_launch=no >config.out 2>&1 || { cat config.out >&2; fail "config set"; }
(cd / && "$bin/kavelin2" config --dir "$site" show) >show.txt || fail "config show"
grep -q '^line1.speed = 115200 ' show.txt || fail "config show: $(cat show.txt)"
grep -q '^dir.tables = "TABLE/" ' show.txt || fail "config show: $(cat show.txt)"

printf 'CMD0000001qty01CMD0000002qty02' > COMMANDE.001
printf '%-30s\r\n' 'ART0000001 Hammer' 'ART0000002 Pliers' > TRANS/ARTICLES.DAT
printf 'ARTICLES.DAT 30\r\n' > TABLE/TABLE.001

"$bin/kavelin2-handheld" --pty "$site/com1" --upload COMMANDE.001:15 --download 001 \
  --receive-dir rx > handheld.out 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$site/com1" ] && break; sleep 0.05; done
KAVELIN2_UI=headless KAVELIN2_PORT_COM1="$site/com1" "$bin/kavelin2" > station.out 2>&1 &
station_pid=$!
sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=""
[ "$sim_status" = 0 ] || { cat handheld.out station.out >&2; fail "the exchange did not complete"; }
for _ in $(seq 100); do [ -s STAT.TXT ] && break; sleep 0.05; done
grep -q '^OK 001 1 ' STAT.TXT || { cat station.out >&2; fail "STAT.TXT: $(cat STAT.TXT)"; }
cmp -s COMMANDE.001 RECU/COMMANDE.001 || fail "the upload was not stored byte-exact"
[ "$(cat rx/ARTICLES.DAT)" = "$(tr -d '\r\n' < TRANS/ARTICLES.DAT)" ] || fail "the download differs"
kill -TERM "$station_pid"
station_status=0
wait "$station_pid" || station_status=$?
station_pid=""
[ "$station_status" = 0 ] || { cat station.out >&2; fail "the station ended with $station_status"; }
echo "package $(basename "$deb"): contents, config and a headless exchange checked"
