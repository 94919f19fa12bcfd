#!/usr/bin/env bash
# Both man pages render without a single warning, and each names what the
# programs take and return.
#   packaging/man_pages_test.sh MAN_DIR
set -euo pipefail
dir=$1
for page in kavelin2.1 kavelin2-handheld.1; do
  warnings=$(LC_ALL=C.UTF-8 groff -man -z -ww "$dir/$page" 2>&1)
  if [ -n "$warnings" ]; then echo "$page: $warnings" >&2; exit 1; fi
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l -Tutf8 "$dir/$page" 2>&1 | col -b)
  for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
    grep -q "^$section" <<<"$text" || { echo "$page: no $section section" >&2; exit 1; }
  done
done
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l -Tutf8 "$dir/kavelin2.1" | col -b)
for word in KAVELIN2_UI KAVELIN2_PORT_ KAVELIN2_UI_LIBRARY KAVELIN2_UI_TRANSCRIPT KAVELIN2_TRACE \
    NOTIFY_SOCKET --help --version "config show" "config set" "config export" "config import" \
    CONF_COM.CFG LANGUE.CFG STAT.TXT kavelin2@.service KAVELIN2_HTTP= KAVELIN2_HTTP_TOKEN_FILE \
    KAVELIN2_OVERDUE_HOURS KAVELIN2_ALERT_PROGRAM KAVELIN2_ALERT_AFTER_S KAVELIN2_ALERT_EVENT \
    exchange-failed line-lost line-back handheld-overdue result-log-failed \
    /usr/lib/kavelin2/kavelin2-alert kavelin2.rules.yml "OK 001 1 06/12/26 09:15:02 00.00'04" \
    "ARTICLES.DAT 64"; do
  grep -qF -- "$word" <<<"$text" || { echo "kavelin2.1 does not name $word" >&2; exit 1; }
done
for status in 0 1 2 3 4 5; do
  grep -qE "^ +$status +[A-Z]" <<<"$text" || { echo "kavelin2.1: no exit status $status" >&2; exit 1; }
done
# The table file's entry names the file and its handheld's identifier apart
# (an .IB macro once ran them together as "TABLETABLE.ID").
grep -qE '^       TABLE\.ID$' <<<"$text" || { echo "kavelin2.1: no entry TABLE.ID" >&2; exit 1; }
if grep -q 'TABLETABLE' <<<"$text"; then echo "kavelin2.1: TABLETABLE" >&2; exit 1; fi
# Every option the simulator takes is in its page.
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l -Tutf8 "$dir/kavelin2-handheld.1" | col -b)
for option in --pty --device --speed --format --upload --name-field --download --next \
    --corrupt-bcc --nak --silent-after --repeat-block --skip-block --bad-id --keep-going \
    --receive-dir --log-sent --log-received --quiet --help --answer-timeout --connect-timeout \
    --pace --listen --linger; do
  grep -qF -- "$option" <<<"$text" || { echo "kavelin2-handheld.1 lacks $option" >&2; exit 1; }
done
echo "man pages render cleanly"
