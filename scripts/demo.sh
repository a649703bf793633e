#!/usr/bin/env bash
# The main job on the demo DVR: starts the emulator on a free loopback port, watches an H.263 and an
# MPEG-4 channel live for a few seconds each (zooming the first camera in), plays back a recording,
# saves a snapshot of each and says where they are.
# Argument: the build tree. Environment: VISTREL_DEMO_SECONDS (default 4), VISTREL_DEMO_DIR (output).
set -euo pipefail
build="$(cd "$1" && pwd)"
bin="$build/bin"
seconds="${VISTREL_DEMO_SECONDS:-4}"
out="${VISTREL_DEMO_DIR:-$build/demo}"

for program in vistrel-dvr vistrel-cli; do
  if [[ ! -x "$bin/$program" ]]; then
    echo "demo: $bin/$program is missing; build the tree first" >&2
    exit 1
  fi
done
mkdir -p "$out"

dvr_log="$out/vistrel-dvr.out"
"$bin/vistrel-dvr" --port 0 --log "$out/dvr-requests.jsonl" >"$dvr_log" 2>&1 &
dvr_pid=$!
stop_dvr() {
  if kill -0 "$dvr_pid" 2>/dev/null; then
    kill -TERM "$dvr_pid" 2>/dev/null || true
    wait "$dvr_pid" 2>/dev/null || true
  fi
}
trap stop_dvr EXIT

# The emulator says where it listens once it accepts connections.
port=""
for _ in $(seq 1 200); do
  port="$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9][0-9]*\).*|\1|p' "$dvr_log" | head -n 1)"
  [[ -n "$port" ]] && break
  if ! kill -0 "$dvr_pid" 2>/dev/null; then
    echo "demo: the DVR emulator ended at start:" >&2
    cat "$dvr_log" >&2
    exit 1
  fi
  sleep 0.05
done
if [[ -z "$port" ]]; then
  echo "demo: the DVR emulator did not report its port" >&2
  exit 1
fi
echo "DVR emulator listening on http://127.0.0.1:$port"

status=0
watch() {
  local channel="$1" name="$2"
  local snapshot="$out/live-channel$channel-$name.bmp"
  local record="$out/live-channel$channel-$name.dvr"
  echo
  echo "== live view of channel $channel ($name) for $seconds s"
  rm -f "$snapshot"
  if "$bin/vistrel-cli" live --host 127.0.0.1 --port "$port" --channel "$channel" --seconds "$seconds" \
       --snapshot "$snapshot" --record "$record"; then
    echo "snapshot of channel $channel: $snapshot"
    echo "raw stream of channel $channel: $record (vistrel-cli decode --framed reads it)"
  else
    echo "demo: live view of channel $channel failed" >&2
    status=1
  fi
}
# The camera of channel 1 zooms in before it is watched: the snapshot shows the zoomed scene.
echo
echo "== camera command: zoom in on channel 1"
if ! "$bin/vistrel-cli" ptz --host 127.0.0.1 --port "$port" --channel 1 --command zoomin --speed fast; then
  echo "demo: the camera command failed" >&2
  status=1
fi
watch 1 h263
watch 9 mpeg4

# A recording: channel 13 (MPEG-4 with audio) from the start of this hour at 4X, with a snapshot.
# The emulator records the first seconds of every hour, so HH:00:00 always has data.
play_snapshot="$out/playback-channel13.bmp"
echo
echo "== playback of channel 13 from $(date +%Y-%m-%d) $(date +%H):00:00 at 4X"
rm -f "$play_snapshot"
if "$bin/vistrel-cli" playback --host 127.0.0.1 --port "$port" --channel 13 \
     --date "$(date +%Y-%m-%d)" --time "$(date +%H):00:00" --speed 4X --snapshot "$play_snapshot"; then
  echo "snapshot of the playback: $play_snapshot"
else
  echo "demo: playback of channel 13 failed" >&2
  status=1
fi

echo
echo "Results in $out"
exit "$status"
