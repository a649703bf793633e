#!/usr/bin/env bash
# The desktop window on the demo DVR without a display: runs `vistrel --demo` under a virtual X
# server for a few seconds, saves a screenshot of the window and says where it is.
# Argument: the build tree. Environment: VISTREL_WINDOW_SECONDS (default 6), VISTREL_DEMO_DIR (output).
set -euo pipefail
build="$(cd "$1" && pwd)"
seconds="${VISTREL_WINDOW_SECONDS:-6}"
out="${VISTREL_DEMO_DIR:-$build/demo}"
program="$build/bin/vistrel"

if [[ ! -x "$program" ]]; then
  echo "window demo: $program is missing; build the tree first" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null; then
  echo "window demo: xvfb-run is missing (scripts/install-deps.sh installs it); no screenshot" >&2
  exit 1
fi
mkdir -p "$out"
shot="$out/window.png"
rm -f "$shot"
echo "== the window on the demo DVR, under Xvfb for $seconds s"
xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --demo --dvr-log "$out/window-dvr-requests.jsonl" \
  --screenshot "$shot" --quit-after "$seconds"
echo "screenshot of the window: $shot"
echo "requests the window sent: $out/window-dvr-requests.jsonl"
