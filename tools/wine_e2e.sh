#!/usr/bin/env bash
# The Windows station under Wine, end to end: kavelin2.exe runs headless with
# COM1 mapped to a pseudo-terminal whose other end is the Linux handheld
# simulator.
#
#   tools/wine_e2e.sh BUILD_WIN BUILD_LINUX
#
# Checks: an upload and a download byte for byte and the STAT.TXT record, on
# the pseudo-terminal and again through a real ser2net on loopback (COM1 a
# tcp:// port, the simulator on ser2net's pseudo-terminal); a
# stop request (Ctrl-C) in the middle of an exchange lets the exchange
# finish and then ends the program with status 0; the station idles without
# spinning (CPU under 2% of a core), also once its line has hung up; a
# missing UI runtime DLL, or one that lacks an entry point, gives the
# message and status 3; the console front end shows the menu and a dialog
# in French (driven through tmux) and quits with status 0; the office view
# (KAVELIN2_HTTP with a token), fetched from Linux with curl during and after
# an exchange, shows it in /status.json, /metrics and the page, and keeps the
# token and method rules. Ends with status 0 when every check passed. KAVELIN2_KEEP_WINE_E2E=1 keeps the working
# directory.
set -uo pipefail

build_win=$(cd "${1:?BUILD_WIN}" && pwd)
build_linux=$(cd "${2:?BUILD_LINUX}" && pwd)
handheld_bin="$build_linux/kavelin2-handheld"
for f in "$build_win/kavelin2.exe" "$build_win/kavelin2ui.dll" "$build_win/kavelin2ui_partial.dll" \
  "$handheld_bin"; do
  if [ ! -e "$f" ]; then
    echo "wine_e2e: $f is missing" >&2
    exit 1
  fi
done

# Wine's console and tmux show the French accents only under a UTF-8 locale,
# which a CI run may not have.
export LC_ALL=C.UTF-8
export WINEPREFIX="$build_win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The station end of the handheld's pseudo-terminal, re-pointed by every run
# of the simulator; Wine's COM1 points at this path.
com1="$build_win/wine-com1"
work=$(mktemp -d "${TMPDIR:-/tmp}/kavelin2-wine-XXXXXX")
station_pid=""
sim_pid=""
ser2net_pid=""
failed=""
fail() {
  failed="$failed $1"
  echo "wine_e2e: FAILED: $1" >&2
}
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "$station_pid" ] && kill -9 "$station_pid" 2>/dev/null
  [ -n "$ser2net_pid" ] && kill "$ser2net_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  if [ -z "${KAVELIN2_KEEP_WINE_E2E:-}" ]; then rm -rf "$work"; else echo "wine_e2e: kept $work"; fi
}
trap cleanup EXIT

# --- The Wine prefix: made once, inside the build directory ------------------
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine_e2e: creating the Wine prefix (once)"
  wineboot -i > "$build_win/wineboot.log" 2>&1
  wineserver -w
fi
if ! grep -qF "\"COM1\"=\"${com1//\//\\\\/}\"" "$WINEPREFIX/system.reg" 2>/dev/null &&
  ! grep -qF "$com1" "$WINEPREFIX/system.reg"; then
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$com1" /f > /dev/null 2>&1
fi
# A new wineserver reads the ports again; its own messages stay out of the
# station's output.
wineserver -k 2>/dev/null
wineserver -p 30 > "$work/wineserver.log" 2>&1
# Wine maps COM1 when its first program starts.
wine cmd /c exit > /dev/null 2>&1
if [ "$(readlink "$WINEPREFIX/dosdevices/com1")" != "$com1" ]; then
  echo "wine_e2e: COM1 is not mapped to $com1: $(readlink "$WINEPREFIX/dosdevices/com1")" >&2
  exit 1
fi

# --- A station directory: the settings files as exact byte images ------------
zeros() { head -c "$1" /dev/zero; }
field() { printf '%s' "$1"; zeros $(($2 - ${#1})); }
# CONF_COM.CFG: COM1 on line 1 at 115200 baud, 8 bits, no parity, 1 stop bit.
port_entry() {
  printf '%s' "$1"; field "$2" 5
  printf '\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00N'
}
make_station_dir() {
  local d=$1
  mkdir -p "$d/RECU" "$d/TABLE" "$d/TRANS" "$d/LOG"
  (
    cd "$d"
    { port_entry O COM1; port_entry N COM2; } > CONF_COM.CFG
    { zeros 31; printf N; zeros 31; printf N; } > CONF_MOD.CFG
    { field TABLE/ 81; field RECU/ 81; field TRANS/ 81; field LOG/ 81; } > CHEMIN.CFG
    printf NNNNNN > CONF_FIC.CFG
    { printf 'N00:00N'; zeros 129; printf '00:00N'; zeros 129; printf N; zeros 129; } > HEURE.CFG
    field Anglais 9 > LANGUE.CFG
    cp "$build_win/kavelin2.exe" "$build_win/kavelin2ui.dll" .
  )
}

# CPU seconds (user + system) a process has used so far.
cpu_seconds() {
  awk '{ printf "%.2f\n", ($14 + $15) / 100 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

# --- 1. Idle: the line open, nothing on it ------------------------------------
# A pseudo-terminal held by script(1) and published at $com1: nothing is ever
# written to the station (script's input is a pipe that stays silent).
idle="$work/idle"
make_station_dir "$idle"
cd "$idle"
rm -f "$com1"
mkfifo "$work/silence"
script -qfec "ln -sfn \"\$(tty)\" '$com1'; stty raw -echo; sleep 15" /dev/null \
  < "$work/silence" > /dev/null 2>&1 &
holder_pid=$!
# Script's input: a pipe this shell holds open and never writes to.
exec 3> "$work/silence"
for _ in $(seq 100); do [ -L "$com1" ] && break; sleep 0.05; done
KAVELIN2_UI=headless wine kavelin2.exe > station.out 2> station.err &
station_pid=$!
for _ in $(seq 200); do grep -q "L1 PHASE=WAITING" station.out && break; sleep 0.05; done
sleep 0.5
cpu0=$(cpu_seconds "$station_pid")
sleep 3
cpu1=$(cpu_seconds "$station_pid")
idle_pct=$(awk -v a="$cpu0" -v b="$cpu1" 'BEGIN { printf "%.1f", (b - a) * 100 / 3 }')
echo "wine_e2e: station CPU while idle under Wine: ${idle_pct}% of a core"
awk -v p="$idle_pct" 'BEGIN { exit !(p < 2.0) }' || fail "idle: ${idle_pct}% of a core"
grep -q "L1 PHASE=WAITING" station.out || fail "idle: line 1 did not go on line"
# The other end goes away (as a USB adapter pulled out): the station must
# not spin on the dead line. Its name goes with it, as a pulled adapter's
# by-id link does: left behind, it would lead the station, which retries it,
# to whichever pseudo-terminal the system numbers next, another program's.
exec 3>&-
kill "$holder_pid" 2>/dev/null
wait "$holder_pid" 2>/dev/null
rm -f "$com1"
sleep 1
cpu0=$(cpu_seconds "$station_pid")
sleep 2
cpu1=$(cpu_seconds "$station_pid")
gone_pct=$(awk -v a="$cpu0" -v b="$cpu1" 'BEGIN { printf "%.1f", (b - a) * 100 / 2 }')
echo "wine_e2e: station CPU once its line hung up: ${gone_pct}% of a core"
awk -v p="$gone_pct" 'BEGIN { exit !(p < 2.0) }' || fail "hung-up line: ${gone_pct}% of a core"
# Ctrl-C with no exchange running: the program ends at once, status 0.
kill -INT "$station_pid"
station_status=0
for _ in $(seq 100); do kill -0 "$station_pid" 2>/dev/null || break; sleep 0.05; done
wait "$station_pid" || station_status=$?
station_pid=""
[ "$station_status" = 0 ] || fail "idle: status $station_status after Ctrl-C"
if [ -n "$failed" ]; then
  echo "--- station"; cat station.out station.err
fi

# --- 2. An exchange, with a stop request in its middle -----------------------
ex="$work/exchange"
make_station_dir "$ex"
cd "$ex"
# Bytes a text-mode file would change: CR LF, a lone LF, Ctrl-Z, NUL, 0xFF.
printf 'ART0000001q\r\n05ART0000002q\x1a\x0012ART000000\n\xffty01' > COMMANDE.001
{
  printf '%-64s\r\n' 'ART0000001 Hammer, claw, 16 oz              EUR    12.50'
  printf '%-64s\r\n' 'ART0000002 Screwdriver set, 6 pieces         EUR     9.90'
} > TRANS/ARTICLES.DAT
printf 'ARTICLES.DAT 64\r\n' > TABLE/TABLE.001

# The handheld pauses before each step, so that the stop request falls in
# the middle of the upload.
rm -f "$com1"
"$handheld_bin" --pty "$com1" --pace 300 --upload COMMANDE.001:15:10,05 --download 001 \
  --receive-dir handheld --log-sent sent.bin --log-received received.bin > handheld.out 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$com1" ] && break; sleep 0.05; done

KAVELIN2_UI=headless wine kavelin2.exe > station.out 2> station.err &
station_pid=$!
for _ in $(seq 300); do grep -q "FICHIER=COMMANDE.001" station.out && break; sleep 0.05; done
kill -INT "$station_pid"
sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=""
station_status=0
for _ in $(seq 200); do kill -0 "$station_pid" 2>/dev/null || break; sleep 0.05; done
wait "$station_pid" || station_status=$?
station_pid=""

[ "$sim_status" = 0 ] || fail "exchange: handheld status $sim_status"
[ "$station_status" = 0 ] || fail "exchange: station status $station_status"
grep -q 'SIGINT' station.out || fail "exchange: the stop request was not seen"
grep -q '^OK 001 1 ' STAT.TXT 2>/dev/null || fail "exchange: no OK record in STAT.TXT"
[ "$(wc -l < STAT.TXT 2>/dev/null)" = 1 ] || fail "exchange: STAT.TXT does not hold one record"
grep -q $'\r$' STAT.TXT || fail "exchange: the STAT.TXT record does not end in CR LF"
cmp -s COMMANDE.001 RECU/COMMANDE.001 || fail "exchange: the uploaded file differs"
[ "$(tr -d '\r\n' < TRANS/ARTICLES.DAT)" = "$(cat handheld/ARTICLES.DAT 2>/dev/null)" ] ||
  fail "exchange: the downloaded file differs"
# The stop came during the upload, and the download still followed.
awk '/SIGINT/ { stop = NR } /FICHIER=ARTICLES.DAT/ { dl = NR } END { exit !(stop && dl > stop) }' \
  station.out || fail "exchange: the stop request did not fall before the download"
if [ -n "$failed" ]; then
  echo "--- handheld"; cat handheld.out
  echo "--- station"; cat station.out station.err
fi

# --- 2b. The same exchange through a real ser2net on loopback ---------------
# COM1 is tcp://127.0.0.1:PORT (Winsock); ser2net serves a pseudo-terminal
# with the Linux simulator on it. The handheld sees the very bytes it saw on
# the direct line above, and the exchange has its STAT.TXT record.
ser2net_bin=$(command -v ser2net || ls /usr/sbin/ser2net 2> /dev/null)
if [ -z "$ser2net_bin" ]; then
  fail "ser2net: not installed (make deps)"
else
  net="$work/ser2net"
  make_station_dir "$net"
  cd "$net"
  cp "$ex/COMMANDE.001" .
  cp "$ex/TRANS/ARTICLES.DAT" TRANS/
  cp "$ex/TABLE/TABLE.001" TABLE/
  # A free port: the system's choice, let go just before ser2net takes it.
  net_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$handheld_bin" --pty "$net/cradle" --connect-timeout 30000 --upload COMMANDE.001:15:10,05 \
    --download 001 --receive-dir handheld --log-sent sent.bin --log-received received.bin \
    > handheld.out 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$net/cradle" ] && break; sleep 0.05; done
  printf '%%YAML 1.1\n---\nconnection: &cradle\n  accepter: tcp,127.0.0.1,%s\n  connector: serialdev,%s,115200n81,local\n  options:\n    kickolduser: true\n    chardelay: false\n' \
    "$net_port" "$net/cradle" > ser2net.yaml
  "$ser2net_bin" -n -u -c ser2net.yaml -P "$net/ser2net.pid" > ser2net.out 2>&1 &
  ser2net_pid=$!
  hex_port=$(printf '%04X' "$net_port")
  for _ in $(seq 200); do grep -q ":$hex_port 00000000:0000 0A" /proc/net/tcp && break; sleep 0.05; done
  KAVELIN2_UI=headless KAVELIN2_PORT_COM1="tcp://127.0.0.1:$net_port" wine kavelin2.exe \
    > station.out 2> station.err &
  station_pid=$!
  sim_status=0
  for _ in $(seq 600); do kill -0 "$sim_pid" 2> /dev/null || break; sleep 0.05; done
  kill "$sim_pid" 2> /dev/null
  wait "$sim_pid" || sim_status=$?
  sim_pid=""
  for _ in $(seq 100); do [ -s STAT.TXT ] && break; sleep 0.05; done
  kill -INT "$station_pid"
  station_status=0
  for _ in $(seq 200); do kill -0 "$station_pid" 2> /dev/null || break; sleep 0.05; done
  wait "$station_pid" || station_status=$?
  station_pid=""
  kill "$ser2net_pid" 2> /dev/null
  wait "$ser2net_pid" 2> /dev/null
  ser2net_pid=""
  [ "$sim_status" = 0 ] || fail "ser2net: handheld status $sim_status"
  [ "$station_status" = 0 ] || fail "ser2net: station status $station_status"
  grep -q '^OK 001 1 ' STAT.TXT 2> /dev/null || fail "ser2net: no OK record in STAT.TXT"
  [ "$(wc -l < STAT.TXT 2> /dev/null)" = 1 ] || fail "ser2net: STAT.TXT does not hold one record"
  cmp -s COMMANDE.001 RECU/COMMANDE.001 || fail "ser2net: the uploaded file differs"
  [ "$(tr -d '\r\n' < TRANS/ARTICLES.DAT)" = "$(cat handheld/ARTICLES.DAT 2> /dev/null)" ] ||
    fail "ser2net: the downloaded file differs"
  cmp -s "$ex/sent.bin" sent.bin || fail "ser2net: the handheld did not send what it sent direct"
  cmp -s "$ex/received.bin" received.bin ||
    fail "ser2net: the handheld did not receive what it received direct"
  if [[ "$failed" == *ser2net* ]]; then
    echo "--- handheld"; cat handheld.out
    echo "--- station"; cat station.out station.err
    echo "--- ser2net"; cat ser2net.out
  fi
fi

# --- 3. The console front end: the menu and a dialog, in French -------------
# Wine renders its console on the terminal it runs in: tmux is that terminal,
# and its keys are the operator's.
if command -v tmux > /dev/null; then
  con="$work/console"
  make_station_dir "$con"
  cd "$con"
  tmux_cmd=(tmux -u -L "kavelin2-wine-$$")
  "${tmux_cmd[@]}" new-session -d -x 100 -y 30 \
    "cd '$con' && KAVELIN2_UI=terminal wine kavelin2.exe P; echo \$? > status.txt; sleep 60"
  screen_has() {
    for _ in $(seq 100); do
      "${tmux_cmd[@]}" capture-pane -p | grep -q "$1" && return 0
      sleep 0.1
    done
    return 1
  }
  screen_has "Main menu" || fail "console: no main menu"
  "${tmux_cmd[@]}" send-keys L
  screen_has "Español" || fail "console: no language dialog in UTF-8"
  "${tmux_cmd[@]}" send-keys Enter  # Français, the first choice
  screen_has "Ports série" || fail "console: the menu is not in French with its accents"
  [ "$(od -An -c LANGUE.CFG | tr -d ' \n')" = 'Francais\0' ] ||
    fail "console: LANGUE.CFG is not the French image"
  "${tmux_cmd[@]}" send-keys Q
  screen_has "Etes vous sur de vouloir quitter" || fail "console: no question on Q"
  "${tmux_cmd[@]}" send-keys Enter
  for _ in $(seq 100); do [ -s status.txt ] && break; sleep 0.1; done
  [ "$(cat status.txt 2> /dev/null)" = 0 ] || fail "console: status $(cat status.txt 2> /dev/null)"
  if [ -n "$failed" ]; then "${tmux_cmd[@]}" capture-pane -p; fi
  "${tmux_cmd[@]}" kill-server 2> /dev/null
else
  echo "wine_e2e: tmux is missing: the console front end is not driven"
fi

# --- 5. The office view: fetched from Linux during and after an exchange -----
# The Windows station serves the page, its JSON and its metrics over Winsock;
# curl on this side is the office PC. With a token file every request must
# carry the token, on loopback too.
if command -v curl > /dev/null && command -v python3 > /dev/null; then
  off="$work/office"
  make_station_dir "$off"
  cd "$off"
  # Twelve records of 16 bytes, an order of handheld 001; its table names
  # one file to download.
  for i in $(seq -w 1 12); do printf 'ART000000%sq0001' "$i"; done > ORDERS.001
  printf '%-64s\r\n' 'ART0000001 Hammer, claw, 16 oz              EUR    12.50' > TRANS/ARTICLES.DAT
  printf 'ARTICLES.DAT 64\r\n' > TABLE/TABLE.001
  printf 's3cret-office-token\n' > token.txt
  # A free port: the kernel picks it, the station takes it a moment later.
  http_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  base="http://127.0.0.1:$http_port"
  auth=(-H "Authorization: Bearer s3cret-office-token")
  rm -f "$com1"
  # Paced, so that the upload is still running when the office looks.
  "$handheld_bin" --pty "$com1" --pace 150 --upload ORDERS.001:16 --download 001 \
    --receive-dir handheld > handheld.out 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$com1" ] && break; sleep 0.05; done
  KAVELIN2_UI=headless KAVELIN2_HTTP="127.0.0.1:$http_port" KAVELIN2_HTTP_TOKEN_FILE=token.txt \
    wine kavelin2.exe > station.out 2> station.err &
  station_pid=$!
  code=000
  for _ in $(seq 200); do
    code=$(curl --noproxy "*" -s -o /dev/null -w '%{http_code}' -m 5 "${auth[@]}" "$base/status.json")
    [ "$code" = 200 ] && break
    sleep 0.1
  done
  [ "$code" = 200 ] || fail "office: /status.json not served (status $code)"
  # Live: line 1 shows handheld 001 and the file on its way in.
  live=""
  for _ in $(seq 200); do
    curl --noproxy "*" -s -m 5 "${auth[@]}" "$base/status.json" > live.json
    if python3 - live.json << 'PY'
import json, sys
s = json.load(open(sys.argv[1]))
l = s["lines"][0]
sys.exit(0 if l["handheld"] == "001" and l["file"] == "ORDERS.001" else 1)
PY
    then
      live=yes
      # The handheld is on line now: its line counts as connected.
      curl --noproxy "*" -s -m 5 "${auth[@]}" "$base/metrics" > live-metrics.txt
      grep -qxF 'kavelin2_line_connected{line="1"} 1' live-metrics.txt ||
        fail "office: line 1 not connected in /metrics during the exchange"
      break
    fi
    sleep 0.05
  done
  [ -n "$live" ] || fail "office: the exchange in progress never showed on line 1"
  sim_status=0
  wait "$sim_pid" || sim_status=$?
  sim_pid=""
  [ "$sim_status" = 0 ] || fail "office: handheld status $sim_status"
  # The exchange's end reaches the view when the station has logged it.
  for _ in $(seq 200); do grep -q '^OK 001 1 ' STAT.TXT 2> /dev/null && break; sleep 0.05; done
  done_json=""
  for _ in $(seq 100); do
    curl --noproxy "*" -s -m 5 "${auth[@]}" "$base/status.json" > after.json
    grep -q '"result":"OK"' after.json && done_json=yes && break
    sleep 0.1
  done
  [ -n "$done_json" ] || fail "office: the finished exchange is not in /status.json"
  python3 - after.json << 'PY' || fail "office: /status.json after the exchange: $(cat after.json)"
import json, sys
s = json.load(open(sys.argv[1]))
ex = [e for e in s["exchanges"] if e["result"] == "OK"]
assert len(ex) == 1, ex
e = ex[0]
assert e["handheld"] == "001" and e["line"] == 1, e
assert [(f["name"], f["records"], f["bytes"]) for f in e["received"]] == [("ORDERS.001", 12, 192)], e
assert [f["name"] for f in e["sent"]] == ["ARTICLES.DAT"], e
h = [h for h in s["handhelds"] if h["handheld"] == "001"]
assert len(h) == 1 and h[0]["has_table"] and h[0]["last_result"] == "OK" and not h[0]["overdue"], h
assert s["lines"][0]["last_result"] == "OK", s["lines"][0]
PY
  curl --noproxy "*" -s -m 5 "${auth[@]}" "$base/metrics" > metrics.txt
  for want in 'kavelin2_exchanges_total{line="1",result="OK"} 1' \
    'kavelin2_records_received_total 12' \
    'kavelin2_bytes_received_total 192'; do
    grep -qxF "$want" metrics.txt || fail "office: /metrics lacks '$want'"
  done
  grep -q '^kavelin2_handheld_last_ok_timestamp_seconds{handheld="001"} [1-9]' metrics.txt ||
    fail "office: /metrics has no last OK for handheld 001"
  grep -qxF 'kavelin2_handheld_overdue{handheld="001"} 0' metrics.txt ||
    fail "office: /metrics does not say handheld 001 is on time"
  curl --noproxy "*" -s -m 5 "${auth[@]}" "$base/" > page.html
  grep -q '<svg' page.html && grep -q '001' page.html && grep -q 'ORDERS.001' page.html ||
    fail "office: the page lacks the chart, the handheld or the file"
  # The token rules, on the Windows transport: none or a wrong one is asked
  # for credentials; Basic with any user and the token passes; only GET and
  # HEAD are taken.
  [ "$(curl --noproxy "*" -s -o /dev/null -w '%{http_code}' -m 5 "$base/metrics")" = 401 ] ||
    fail "office: no token was not refused"
  curl --noproxy "*" -s -D - -o /dev/null -m 5 "$base/" | grep -qi '^WWW-Authenticate: Basic' ||
    fail "office: a 401 without WWW-Authenticate"
  [ "$(curl --noproxy "*" -s -o /dev/null -w '%{http_code}' -m 5 -H 'Authorization: Bearer wrong' "$base/")" = 401 ] ||
    fail "office: a wrong token was not refused"
  [ "$(curl --noproxy "*" -s -o /dev/null -w '%{http_code}' -m 5 -u "office:s3cret-office-token" "$base/exchanges.csv")" = 200 ] ||
    fail "office: Basic with the token was refused"
  [ "$(curl --noproxy "*" -s -o /dev/null -w '%{http_code}' -m 5 -X POST "${auth[@]}" "$base/")" = 405 ] ||
    fail "office: POST was not refused"
  [ "$(curl --noproxy "*" -s -o /dev/null -w '%{http_code}' -m 5 -I "${auth[@]}" "$base/metrics")" = 200 ] ||
    fail "office: HEAD was refused"
  kill -INT "$station_pid"
  station_status=0
  for _ in $(seq 200); do kill -0 "$station_pid" 2> /dev/null || break; sleep 0.05; done
  wait "$station_pid" || station_status=$?
  station_pid=""
  [ "$station_status" = 0 ] || fail "office: station status $station_status"
  # Off loopback without a token the station does not start.
  status=0
  KAVELIN2_UI=headless KAVELIN2_HTTP="0.0.0.0:$http_port" wine kavelin2.exe > refused.out 2>&1 ||
    status=$?
  [ "$status" = 2 ] || fail "office: status $status on 0.0.0.0 without a token"
  if [[ "$failed" == *office* ]]; then
    echo "--- handheld"; cat handheld.out
    echo "--- station"; cat station.out station.err refused.out
    echo "--- metrics"; cat metrics.txt
  fi
else
  fail "office: curl or python3 is missing"
fi

# --- 4. The UI runtime missing, or without an entry point --------------------
no_dll="$work/no-dll"
make_station_dir "$no_dll"
cd "$no_dll"
rm kavelin2ui.dll
status=0
wine kavelin2.exe > out.txt 2>&1 || status=$?
[ "$status" = 3 ] || fail "missing DLL: status $status"
grep -q "La fonction loadlibrary sur la DLL WDEXE a échoué." out.txt ||
  fail "missing DLL: no message"
cp "$build_win/kavelin2ui_partial.dll" .
status=0
KAVELIN2_UI_LIBRARY=kavelin2ui_partial.dll wine kavelin2.exe > out2.txt 2>&1 || status=$?
[ "$status" = 3 ] || fail "DLL without an entry point: status $status"
grep -q "La résolution des liens avec la DLL WDEXE a échoué." out2.txt ||
  fail "DLL without an entry point: no message"

if [ -n "$failed" ]; then
  printf 'wine_e2e: FAILED:%s\n' "$failed"
  exit 1
fi
echo "wine_e2e: every check passed (exchange byte for byte, stop during an exchange, the same exchange through ser2net, idle ${idle_pct}%, console, office view, missing DLL)"
