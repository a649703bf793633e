#!/bin/sh
# Encodes the short MPEG-4 clips that the emulator's MPEG-4 channels loop.
# Arguments: the ffmpeg program and the output folder.
# 320x240, 30 frames/s (the time resolution the client's priming header announces), MPEG
# quantisation, no B-pictures, an intra picture every second, three seconds each.
set -eu
ffmpeg="$1"
out="$2"
mkdir -p "$out"
i=0
for source in "testsrc=size=320x240:rate=30" "testsrc2=size=320x240:rate=30" \
              "smptebars=size=320x240:rate=30" "mandelbrot=size=320x240:rate=30"; do
  "$ffmpeg" -v error -y -f lavfi -i "$source" -t 3 -pix_fmt yuv420p \
    -c:v mpeg4 -mpeg_quant 1 -bf 0 -g 30 -q:v 5 -f m4v "$out/clip$i.m4v.tmp"
  mv "$out/clip$i.m4v.tmp" "$out/clip$i.m4v"
  i=$((i + 1))
done
