#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build tree over their seed corpora.
#
#   fuzz/run.sh BUILD_DIR runs N      each target for N inputs (make test);
#                                     new inputs are thrown away
#   fuzz/run.sh BUILD_DIR seconds S   each target for S seconds (make fuzz);
#                                     inputs that add coverage are merged into
#                                     fuzz/corpus/<target>/
#
# FUZZ_TARGETS="fuzz_table ..." limits the run. Fails (status 1) when a target
# crashes, trips a sanitizer or fails one of its checks; the input that did it
# is kept as fuzz/crash-<target>-* and the target's output as
# BUILD_DIR/<target>.log.
set -uo pipefail

build=$(cd "${1:?usage: run.sh BUILD_DIR runs N | seconds S}" && pwd)
how=${2:?}
amount=${3:?}
here=$(cd "$(dirname "$0")" && pwd)
targets=${FUZZ_TARGETS:-fuzz_dispatch fuzz_table fuzz_settings fuzz_ui_reply}
# The targets' working directories: the station syncs what it stores, which on
# a disk would make each input take milliseconds.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=""
for t in $targets; do
  bin="$build/$t"
  corpus="$here/corpus/$t"
  if [ ! -x "$bin" ]; then
    echo "fuzz: $bin is missing" >&2
    exit 1
  fi
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/kavelin2-fuzz-corpus-XXXXXX")
  case "$how" in
    runs) limit=(-runs="$amount") ;;
    seconds) limit=(-max_total_time="$amount") ;;
    *) echo "fuzz: unknown mode $how" >&2; exit 2 ;;
  esac
  start=$(date +%s)
  if "$bin" "${limit[@]}" -seed=1 -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$here/crash-$t-" "$scratch" "$corpus" > "$build/$t.log" 2>&1; then
    result=ok
  else
    result=FAILED
    failed="$failed $t"
  fi
  stats=$(grep -E '^#[0-9]+' "$build/$t.log" | tail -1 | sed 's/  */ /g')
  if [ "$how" = seconds ] && [ "$result" = ok ]; then
    before=$(ls "$corpus" | wc -l)
    "$bin" -merge=1 "$corpus" "$scratch" >> "$build/$t.log" 2>&1
    echo "fuzz: $t: $(($(ls "$corpus" | wc -l) - before)) new corpus entries kept"
  fi
  rm -rf "$scratch"
  echo "fuzz: $t: $result in $(($(date +%s) - start)) s ($stats)"
  if [ "$result" != ok ]; then
    grep -E 'ERROR|fuzz check failed|runtime error|SUMMARY' "$build/$t.log" | head -5 | sed 's/^/    /'
  fi
done
if [ -n "$failed" ]; then
  echo "fuzz: FAILED:$failed (inputs kept as fuzz/crash-*, logs in $build)" >&2
  exit 1
fi
