#!/usr/bin/env bash
# make demo: one complete exchange between the station, run headless in the
# background, and the handheld simulator, over a pseudo-terminal pair.
#
#   tools/demo.sh [BUILD_DIR]
#
# The handheld 001 uploads COMMANDE.001 (three 15-byte records), then asks
# for its download and receives the two files its table file lists. Ends with
# status 0 when every step went as it should. KAVELIN2_KEEP_DEMO=1 keeps the
# working directory.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
station_bin="$build/kavelin2"
handheld_bin="$build/kavelin2-handheld"
for f in "$station_bin" "$handheld_bin" "$build/libkavelin2ui.so"; do
  if [ ! -e "$f" ]; then
    echo "demo: $f is missing; run 'make build' first" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kavelin2-demo-XXXXXX")
station_pid=""
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$station_pid" ] && kill -9 "$station_pid" 2>/dev/null || true
  if [ -z "${KAVELIN2_KEEP_DEMO:-}" ]; then rm -rf "$work"; else echo "demo: kept $work"; fi
}
trap cleanup EXIT
cd "$work"
mkdir RECU TABLE TRANS LOG

# --- Settings files: exact byte images -------------------------------------
zeros() { head -c "$1" /dev/zero; }
# A text in a fixed field of $2 bytes, NUL-filled.
field() { printf '%s' "$1"; zeros $(($2 - ${#1})); }
# CONF_COM.CFG, 23 bytes a line: ACTIVE, PORT (5), VITESSE 2 (115200),
# DONNEES 2 (8 bits), PARITE 1 (none), STOPBIT 1 (one), each a 32-bit
# little-endian number, IRDA.
port_entry() {
  printf '%s' "$1"; field "$2" 5
  printf '\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00N'
}
{ port_entry O COM1; port_entry N COM2; } > CONF_COM.CFG
{ zeros 31; printf N; zeros 31; printf N; } > CONF_MOD.CFG
{ field TABLE/ 81; field RECU/ 81; field TRANS/ 81; field LOG/ 81; } > CHEMIN.CFG
printf NNNNNN > CONF_FIC.CFG  # SUP_TAB APPEND PORTABLE SUP_FIC ADD_CRLF DOS
# HEURE.CFG: AVANT 'N', nothing scheduled.
{ printf 'N00:00N'; zeros 129; printf '00:00N'; zeros 129; printf N; zeros 129; } > HEURE.CFG
field Anglais 9 > LANGUE.CFG

# --- Data --------------------------------------------------------------------
printf 'ART0000001qty05ART0000002qty12ART0000003qty01' > COMMANDE.001
{
  printf '%-64s\r\n' 'ART0000001 Hammer, claw, 16 oz              EUR    12.50'
  printf '%-64s\r\n' 'ART0000002 Screwdriver set, 6 pieces         EUR     9.90'
  printf '%-64s\r\n' 'ART0000003 Tape measure, 5 m                 EUR     6.20'
} > TRANS/ARTICLES.DAT
{
  printf '%-32s\r\n' 'CLI00001 Atelier Martin'
  printf '%-32s\r\n' 'CLI00002 Garage du Centre'
} > TRANS/CLIENTS.TXT
# One entry a line: name field (8.3, padded), a separator, the record length.
printf 'ARTICLES.DAT 64\r\nCLIENTS .TXT 32\r\n' > TABLE/TABLE.001

# --- The exchange -------------------------------------------------------------
"$handheld_bin" --pty "$work/com1" --upload COMMANDE.001:15:10,05 --download 001 \
  --receive-dir handheld > handheld.out 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$work/com1" ] && break; sleep 0.05; done

KAVELIN2_UI=headless KAVELIN2_PORT_COM1="$work/com1" "$station_bin" > station.out 2>&1 &
station_pid=$!

sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=""
# The result log line is written when the station has taken the last ACK.
for _ in $(seq 100); do [ -s STAT.TXT ] && break; sleep 0.05; done
kill -TERM "$station_pid" 2>/dev/null || true
station_status=0
wait "$station_pid" || station_status=$?
station_pid=""

show() { printf '\n=== %s ===\n' "$1"; }
show "The handheld simulator (every frame, then the summary)"
cat handheld.out
show "What the station showed (headless front end, standard output)"
cat station.out
show "Files the station received (RECU/)"
for f in RECU/*; do printf -- '--- %s\n' "$f"; od -An -c "$f" | sed 's/^/   /'; done
show "The handheld's table file TABLE/TABLE.001 (name field, separator, record length)"
cat -A TABLE/TABLE.001 | sed 's/^/   /'
show "Files the station sent (TRANS/) and what the handheld stored (handheld/)"
for f in TRANS/* handheld/*; do
  printf -- '--- %s\n' "$f"
  { cat -A "$f"; [ -z "$(tail -c1 "$f")" ] || echo; } | sed 's/^/   /'
done
show "Result log STAT.TXT"
cat -A STAT.TXT
show "The exchange's summary on the station's log"
grep ', handheld 001: ' station.out || true

failed=""
[ "$sim_status" = 0 ] || failed="$failed handheld-status=$sim_status"
[ "$station_status" = 0 ] || failed="$failed station-status=$station_status"
grep -q '^OK 001 1 ' STAT.TXT || failed="$failed no-OK-record"
grep -q 'Line 1, handheld 001: OK, .* received: COMMANDE.001 (3 records, 45 bytes); sent: ARTICLES.DAT (3 records, 192 bytes), CLIENTS.TXT (2 records, 64 bytes)$' station.out ||
  failed="$failed no-summary-line"
cmp -s COMMANDE.001 RECU/COMMANDE.001 || failed="$failed upload-differs"
[ "$(tr -d '\r\n' < TRANS/ARTICLES.DAT)" = "$(cat handheld/ARTICLES.DAT)" ] ||
  failed="$failed download-differs"
if [ -n "$failed" ]; then
  printf '\ndemo: FAILED:%s\n' "$failed"
  exit 1
fi
printf '\ndemo: complete exchange OK (station stopped with SIGTERM, status 0)\n'
