#!/usr/bin/env bash
# The service template as installed passes systemd-analyze verify, with its
# program, its man page and its documentation in place.
#   packaging/unit_verify_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
if ! command -v systemd-analyze >/dev/null; then
  echo "unit_verify_test: systemd-analyze is missing (make deps installs systemd)" >&2
  exit 1
fi
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kavelin2-unit-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
unit="$prefix/lib/systemd/system/kavelin2@.service"
grep -qx "ExecStart=$prefix/bin/kavelin2" "$unit" || { echo "ExecStart is not the installed program" >&2; exit 1; }
for want in Type=notify 'WorkingDirectory=/var/lib/kavelin2/%i' User=kavelin2 \
    'EnvironmentFile=-/etc/kavelin2/%i.env' Environment=KAVELIN2_UI=headless \
    Restart=on-failure ProtectSystem=strict 'ReadWritePaths=/var/lib/kavelin2/%i' \
    SupplementaryGroups=dialout 'DeviceAllow=char-ttyUSB rw' NoNewPrivileges=yes PrivateTmp=yes; do
  grep -qxF "$want" "$unit" || { echo "the unit lacks $want" >&2; exit 1; }
done
# Any complaint about the unit (an unknown key, a bad value, a missing
# program or man page) fails the test, not only those that make verify fail.
out=$(cd "$prefix/lib/systemd/system" && MANPATH="$prefix/share/man" \
  systemd-analyze verify "$unit" 2>&1) || { echo "$out" >&2; exit 1; }
if grep -i kavelin2 <<<"$out" >&2; then exit 1; fi
echo "kavelin2@.service verified"
