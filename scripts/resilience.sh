#!/usr/bin/env bash
# Measures how our decoders come through damaged streams, beside ffmpeg. Not part of ./test.
#
# Method
#  1. ffmpeg makes the streams: MPEG-4 640x480 with video packets, quarter-sample, interlaced,
#     B-frames and plain P; H.263 CIF and QCIF with group-of-blocks headers (-ps) and without.
#  2. vistrel-resilience damage makes copies with a seeded generator (the same seed gives the same
#     bytes): FLIPS bits per picture at random places in its data, never in the sequence, object or
#     layer headers nor in a picture's first bytes (its start code and header, which place it in
#     display order), and never making a new start code; a second copy instead cuts every third
#     picture to between a quarter and three quarters of its data.
#  3. ffmpeg decodes the undamaged stream (the reference) and each damaged copy
#     (ffmpeg -i damaged -fps_mode passthrough -f rawvideo -pix_fmt yuv420p, with showinfo giving
#     each picture's presentation time, so a picture ffmpeg drops leaves a gap instead of shifting the
#     rest).
#  4. vistrel-resilience measure decodes the damaged copy with our decoders unit by unit (one H.263
#     picture or MPEG-4 start-code unit at a time, as a DVR frames them), so each picture that comes
#     out is known by its display position (H.263: its picture number; MPEG-4: its time stamp as our
#     decoding of the undamaged stream placed it). A dropped picture simply has no entry.
#  5. Per stream it prints: pictures in; pictures out (ffmpeg, ours); the mean luma PSNR of the shown
#     pictures against the reference picture at the same position (ffmpeg, ours; identical pictures
#     count as 99 dB); ours against our own undamaged decoding (as ffmpeg's is against its own: this
#     leaves out the two inverse transforms' difference, which costs us 99 against some 75 dB on
#     every picture that came through undamaged); our mean PSNR on the undamaged stream (the
#     decoders' own difference from ffmpeg); and the errors our decoder reported.
#
# Usage: scripts/resilience.sh [OUTDIR]   (env: SEED, FLIPS, FRAMES, BUILD, ONLY=name pattern)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/resilience}
seed=${SEED:-1}
flips=${FLIPS:-3}
frames=${FRAMES:-75}
build=${BUILD:-build/asan}
mkdir -p "$out"

scripts/install-deps.sh >/dev/null
if [ ! -f "$build/CMakeCache.txt" ]; then
  flock /tmp/vistrel-build.lock cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTREL_SANITIZE=ON >/dev/null
fi
flock /tmp/vistrel-build.lock cmake --build "$build" --target vistrel-resilience -j2 >/dev/null
tool=$(find "$build" -name vistrel-resilience -type f -perm -u+x | head -1)
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Moving pictures with a panning window, so vectors are non-trivial (as in the conformance streams).
pan() { echo "testsrc2=size=800x600:rate=$3,crop=$1:$2:x='20+10*t*25/4':y='10+5*t*25/4'"; }
pan640=$(pan 640 480 25)
interlaced="testsrc2=size=640x480:rate=25,setfield=tff"
ntsc=30000/1001   # baseline H.263 headers need this rate

# make NAME EXT SOURCE OPTIONS...
make_stream() {
  name=$1; ext=$2; src=$3; shift 3
  [ -s "$out/$name.$ext" ] && return 0
  ff -f lavfi -i "$src" -frames:v "$frames" "$@" "$out/.$name.$ext"
  mv -f "$out/.$name.$ext" "$out/$name.$ext"
}

make_stream mpeg4_packets   m4v "$pan640" -c:v mpeg4 -q:v 4 -g 12 -ps 400 -f m4v
make_stream mpeg4_qpel      m4v "$pan640" -c:v mpeg4 -q:v 4 -g 12 -flags +qpel -f m4v
make_stream mpeg4_interlaced m4v "$interlaced" -c:v mpeg4 -q:v 4 -g 12 -flags +ildct+ilme -top 1 -f m4v
make_stream mpeg4_bframes   m4v "$pan640" -c:v mpeg4 -q:v 4 -g 12 -bf 2 -f m4v
make_stream mpeg4_plain     m4v "$pan640" -c:v mpeg4 -q:v 4 -g 12 -f m4v
make_stream h263_cif_gob    h263 "$(pan 352 288 $ntsc)" -c:v h263 -q:v 4 -g 12 -ps 200
make_stream h263_cif_plain  h263 "$(pan 352 288 $ntsc)" -c:v h263 -q:v 4 -g 12
make_stream h263_qcif_gob   h263 "$(pan 176 144 $ntsc)" -c:v h263 -q:v 4 -g 12 -ps 100
make_stream h263_qcif_plain h263 "$(pan 176 144 $ntsc)" -c:v h263 -q:v 4 -g 12

# decode IN OUT.yuv -- also writes OUT.pts, one presentation time per picture. One thread: with
# more, ffmpeg conceals the same damaged bytes differently from run to run (up to 0.8 dB of mean).
decode() {
  ffmpeg -nostdin -hide_banner -y -threads 1 -i "$1" -fps_mode passthrough -vf showinfo -f rawvideo -pix_fmt yuv420p "$2" \
      2>"$2.log" || true
  sed -n 's/.*Parsed_showinfo.* n: *[0-9]* pts: *\([-0-9]*\).*/\1/p' "$2.log" >"${2%.yuv}.pts"
}

"$tool" header
for stream in "$out"/*.m4v "$out"/*.h263; do
  base=$(basename "$stream")
  case "$base" in *.damaged.*|*.cut.*) continue ;; esac
  case "$base" in ${ONLY:-*}*) ;; *) continue ;; esac
  name=${base%.*}; ext=${base##*.}
  codec=mpeg4; [ "$ext" = h263 ] && codec=h263
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$stream")
  decode "$stream" "$out/$name.ref.yuv"
  for variant in damaged cut; do
    opts=(--seed "$seed" --flips "$flips"); [ $variant = cut ] && opts+=(--truncate)
    copy="$out/$name.$variant.$ext"
    "$tool" damage "$codec" "$stream" "$copy" "${opts[@]}"
    decode "$copy" "$out/$name.$variant.ffmpeg.yuv"
    # The codec library talks on both streams; only the tool's row is kept.
    if "$tool" measure "$codec" "$name.$variant" "$stream" "$copy" "$out/$name.ref.yuv" "$out/$name.ref.pts" \
        "$out/$name.$variant.ffmpeg.yuv" "$out/$name.$variant.ffmpeg.pts" "$size" \
        >"$out/$name.$variant.ours.log" 2>&1; then
      grep "^$name\.$variant " "$out/$name.$variant.ours.log"
    else
      echo "$name.$variant: measuring failed, see $out/$name.$variant.ours.log"
    fi
  done
done
