#!/bin/bash
# An independent check of what the station makes durable, from its system
# calls: the real program runs under strace for one upload of each APPEND
# value (N; O onto a target; O without one) and one download that removes
# its sent files and table. Before each ACK of an end of file, and before
# each record written to STAT.TXT, every file the station wrote must have
# been synced since its last write, and every directory whose entries it
# changed (create, rename, remove) synced since. The result log itself
# and the exchange journal are the only files left out: they are what is
# being written. Each sequence found is printed.
#
# usage: durability_trace_test.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v strace > /dev/null; then
  echo "durability trace: SKIPPED, strace is not installed (make deps installs it)"
  exit 0
fi

top=$(mktemp -d "${TMPDIR:-/tmp}/kavelin2-trace-XXXXXX")
station_pid=""
sim_pid=""
tracer_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2> /dev/null || true
  [ -n "$station_pid" ] && kill -9 "$station_pid" 2> /dev/null || true
  [ -n "$tracer_pid" ] && kill "$tracer_pid" 2> /dev/null || true
  rm -rf "$top"
}
trap cleanup EXIT

zeros() { head -c "$1" /dev/zero; }
field() {
  printf '%s' "$1"
  zeros $(($2 - ${#1}))
}
port_entry() {
  printf '%s' "$1"
  field "$2" 5
  printf '\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00N'
}

# A working directory with the file options |1| (SUP_TAB APPEND PORTABLE
# SUP_FIC ADD_CRLF DOS) and a result log holding one earlier record.
site() {
  local dir=$1 options=$2
  mkdir -p "$dir" && cd "$dir"
  mkdir RECU TABLE TRANS
  { port_entry O COM1; port_entry N COM2; } > CONF_COM.CFG
  {
    zeros 31
    printf N
    zeros 31
    printf N
  } > CONF_MOD.CFG
  {
    field TABLE/ 81
    field RECU/ 81
    field TRANS/ 81
    zeros 81
  } > CHEMIN.CFG
  printf '%s' "$options" > CONF_FIC.CFG
  {
    printf 'N00:00N'
    zeros 129
    printf '00:00N'
    zeros 129
    printf N
    zeros 129
  } > HEURE.CFG
  field Anglais 9 > LANGUE.CFG
  printf "OK 007 1 05/12/26 17:40:11 00.00'03\r\n" > STAT.TXT
  sync
}

# Runs one exchange of the simulator (its arguments) against the station
# under strace; the trace is left in trace.txt.
run() {
  rm -f com1
  find . -type f | sed 's|^\./||' > existing.txt
  "$build/kavelin2-handheld" --pty "$PWD/com1" "$@" > handheld.out 2>&1 &
  sim_pid=$!
  for _ in $(seq 200); do
    [ -L com1 ] && break
    sleep 0.05
  done
  KAVELIN2_UI=headless KAVELIN2_PORT_COM1="$PWD/com1" \
    strace -f -qq -xx -o trace.txt \
    -e trace=openat,open,creat,read,write,pwrite64,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,mkdir,close,dup,dup2,dup3,fcntl \
    "$build/kavelin2" > station.out 2>&1 &
  tracer_pid=$!
  local sim_status=0
  wait "$sim_pid" || sim_status=$?
  sim_pid=""
  for _ in $(seq 400); do
    [ "$(stat -c %s STAT.TXT)" -ge 74 ] && break
    sleep 0.05
  done
  station_pid=$(pgrep -P "$tracer_pid" | head -1 || true)
  [ -n "$station_pid" ] && kill -TERM "$station_pid" 2> /dev/null || true
  wait "$tracer_pid" || true
  tracer_pid=""
  station_pid=""
  if [ "$sim_status" != 0 ]; then
    echo "durability trace: the handheld's exchange failed ($sim_status)" >&2
    cat handheld.out station.out >&2
    return 1
  fi
}

failed=0
check() {
  local what=$1 mode=$2
  echo "=== $what"
  python3 "$here/durability_trace_check.py" "$mode" trace.txt || failed=1
}

printf 'NEW01NEW02NEW03' > "$top/CDE.001"

site "$top/n" NNNNNN
printf 'the earlier upload' > RECU/CDE.001
run --upload "$top/CDE.001:5" --download 001
cmp -s RECU/CDE.001 "$top/CDE.001" || { echo "upload N: RECU/CDE.001 differs" >&2 && failed=1; }
check "upload, APPEND N, replacing RECU/CDE.001" upload

site "$top/o-target" NONNNN
printf 'OLD01OLD02' > RECU/CDE.001
run --upload "$top/CDE.001:5" --download 001
[ "$(cat RECU/CDE.001)" = "OLD01OLD02NEW01NEW02NEW03" ] ||
  { echo "upload O onto a target: RECU/CDE.001 is $(cat RECU/CDE.001)" >&2 && failed=1; }
check "upload, APPEND O onto RECU/CDE.001" upload

site "$top/o-new" NONNNN
run --upload "$top/CDE.001:5" --download 001
cmp -s RECU/CDE.001 "$top/CDE.001" || { echo "upload O: RECU/CDE.001 differs" >&2 && failed=1; }
check "upload, APPEND O without a target" upload

site "$top/download" ONNONN
printf 'ARTICLES.DAT 04\r\nCLIENTS .TXT 04\r\n' > TABLE/TABLE.001
printf 'aaaa\r\nAAAA\r\n' > TRANS/ARTICLES.DAT
printf 'bbbb\r\nBBBB\r\n' > TRANS/CLIENTS.TXT
mkdir handheld
run --download 001 --receive-dir handheld
[ ! -e TRANS/ARTICLES.DAT ] && [ ! -e TRANS/CLIENTS.TXT ] && [ ! -e TABLE/TABLE.001 ] ||
  { echo "download: the sent files or the table are still there" >&2 && failed=1; }
check "download, SUP_FIC and SUP_TAB O" download

if [ "$failed" != 0 ]; then
  echo "durability trace: FAILED"
  exit 1
fi
echo "durability trace: every ACK of an end of file and every STAT.TXT record followed the syncs"
