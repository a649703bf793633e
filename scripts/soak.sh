#!/usr/bin/env bash
# Soak: vistrel-cli watches a live channel of the DVR emulator for N minutes while the emulator's
# faults rotate (clean, dropped connections, stalls, junk in front of the stream, an HTML error
# page, 503 answers while another client takes its only connection). Reports the client's
# resident memory after one minute and at the end, its open file descriptors, its reconnects and
# frames. Memory that keeps growing or descriptors that pile up are the faults this looks for.
# Usage: scripts/soak.sh [MINUTES] [CHANNEL]   (default 10 minutes, channel 9: MPEG-4)
# Environment: VISTREL_SOAK_BUILD (default build/release when built, else build/asan),
# VISTREL_SOAK_PHASE (seconds, default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-10}"
channel="${2:-9}"
default_build=build/asan
[ -x build/release/bin/vistrel-cli ] && [ -x build/release/bin/vistrel-dvr ] && default_build=build/release
build="${VISTREL_SOAK_BUILD:-$default_build}"
phase="${VISTREL_SOAK_PHASE:-30}"
bin="$build/bin"
out="$build/soak"
mkdir -p "$out"
for program in vistrel-dvr vistrel-cli; do
  [ -x "$bin/$program" ] || { echo "soak: $bin/$program is missing; build it first" >&2; exit 1; }
done
# In a sanitizer build, leaks are reported at exit, and a small quarantine keeps freed memory
# from passing for growth of the resident size.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:quarantine_size_mb=4}"

dvr_pid="" hog_pid="" cli_pid=""
cleanup() {
  for p in $hog_pid $dvr_pid $cli_pid; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A free loopback port, kept for every emulator run so the client reconnects to the same address.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"

start_dvr() {  # start_dvr FAULT-OPTIONS...
  "$bin/vistrel-dvr" --port "$port" "$@" >"$out/dvr.out" 2>&1 &
  dvr_pid=$!
  for _ in $(seq 1 200); do
    grep -q "listening on" "$out/dvr.out" 2>/dev/null && return 0
    kill -0 "$dvr_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "soak: the emulator did not start:" >&2
  cat "$out/dvr.out" >&2
  exit 1
}
stop_dvr() {
  [ -n "$hog_pid" ] && { kill "$hog_pid" 2>/dev/null || true; wait "$hog_pid" 2>/dev/null || true; hog_pid=""; }
  kill "$dvr_pid" 2>/dev/null || true
  wait "$dvr_pid" 2>/dev/null || true
  dvr_pid=""
}

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
fds() { { ls "/proc/$1/fd" 2>/dev/null || true; } | wc -l; }

start_dvr
total=$((minutes * 60))
# The client outlives the loop by a few seconds, so its memory can still be read at the end.
"$bin/vistrel-cli" live --host 127.0.0.1 --port "$port" --channel "$channel" --seconds $((total + 5)) \
  >"$out/cli.out" 2>"$out/cli.err" &
cli_pid=$!
echo "soak: $minutes min on channel $channel, faults rotating every $phase s (output in $out)"

# A clean phase between two faults lets a good response reset the client's failure count: six
# failures in a row end its reconnecting for good, and each emulator restart already costs two.
phases=("clean" "drop" "clean" "stall" "clean" "junk" "clean" "html" "clean" "overload")
started=$SECONDS
rss_one="" fds_one="" i=0
while kill -0 "$cli_pid" 2>/dev/null && [ $((SECONDS - started)) -lt "$total" ]; do
  name=${phases[$((i % ${#phases[@]}))]}
  i=$((i + 1))
  stop_dvr
  case "$name" in
    clean) start_dvr ;;
    drop) start_dvr --close-after 300000 ;;
    stall) start_dvr --stall-after 200000 ;;
    junk) start_dvr --junk 4096 --close-after 500000 ;;
    # One page: each costs two failures (the page and the end of its response).
    html) start_dvr --html-error 1 ;;
    overload)
      start_dvr --max-connections 1
      # Another client holds the only connection for half the phase: the next attempts get 503.
      curl -s -o /dev/null --max-time $((phase / 2)) "$base/pushall.htm;0?scrw=1024" &
      hog_pid=$! ;;
  esac
  printf 'soak: %4ds %-8s rss %s kB, fds %s\n' $((SECONDS - started)) "$name" "$(rss_kb "$cli_pid")" "$(fds "$cli_pid")"
  phase_end=$((SECONDS + phase))
  while [ "$SECONDS" -lt "$phase_end" ] && [ $((SECONDS - started)) -lt "$total" ] && kill -0 "$cli_pid" 2>/dev/null; do
    if [ -z "$rss_one" ] && [ $((SECONDS - started)) -ge 60 ]; then
      rss_one=$(rss_kb "$cli_pid")
      fds_one=$(fds "$cli_pid")
    fi
    sleep 1
  done
done
rss_end=$(rss_kb "$cli_pid")
fds_end=$(fds "$cli_pid")
status=0
wait "$cli_pid" || status=$?
cli_pid=""
stop_dvr

echo "soak: resident memory after 1 min ${rss_one:-n/a} kB, at the end ${rss_end} kB"
echo "soak: open descriptors after 1 min ${fds_one:-n/a}, at the end ${fds_end}"
echo "soak: client: $(tail -n 1 "$out/cli.out" 2>/dev/null)"
if [ "$status" -ne 0 ]; then
  echo "soak: vistrel-cli ended with status $status:" >&2
  tail -n 5 "$out/cli.err" >&2
  exit 1
fi
