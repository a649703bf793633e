#!/usr/bin/env bash
# The main job on the demo DVR. Argument: the build tree.
set -euo pipefail
build="$1"
echo "Vistrel built in $build; nothing to demonstrate yet."
