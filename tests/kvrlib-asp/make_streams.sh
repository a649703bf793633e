#!/bin/sh
# Makes the part-2 conformance streams with independent encoders (ffmpeg's mpeg4, libxvid).
# Usage: make_streams.sh OUTDIR [FRAMES]   -- writes OUTDIR/<name>.m4v, prints nothing on success.
set -eu
out=$1
frames=${2:-20}
mkdir -p "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Moving test pattern with a panning window, so that vectors (and global motion) are non-trivial.
pan="testsrc2=size=480x360:rate=25,crop=352:288:x='20+10*t*25/4':y='10+5*t*25/4'"
# Zoom and pan: xvid picks global motion for it.
zoom="mandelbrot=size=352x288:rate=25"

ff -f lavfi -i "$pan" -frames:v "$frames" -c:v mpeg4 -bf 2 -q:v 4 -f m4v "$out/mpeg4_bf2.m4v"
ff -f lavfi -i "$pan" -frames:v "$frames" -c:v mpeg4 -flags +qpel -q:v 4 -f m4v "$out/mpeg4_qpel.m4v"
ff -f lavfi -i "$pan" -frames:v "$frames" -c:v mpeg4 -flags +qpel+mv4 -bf 2 -q:v 4 -f m4v "$out/mpeg4_qpel_bf2.m4v"
# Video packets in B-VOPs, some of them starting at macroblocks that are skipped without bits.
ff -f lavfi -i "testsrc2=size=480x360:rate=25,crop=320:240:x='20+10*t*25/4':y='10+5*t*25/4'" -frames:v "$frames" \
   -c:v mpeg4 -bf 1 -ps 300 -q:v 4 -f m4v "$out/mpeg4_bf1_packets.m4v"
ff -f lavfi -i "testsrc2=size=720x576:rate=25,setfield=tff" -frames:v 8 -c:v mpeg4 \
   -flags +ildct+ilme -top 1 -bf 2 -q:v 4 -f m4v "$out/mpeg4_interlaced.m4v"
# libxvid packs B-frames DivX-style (with placeholder not-coded VOPs) unless the headers are global,
# so it encodes into MP4 and the elementary stream is taken out with the headers put back in front.
xvid() {
    name=$1; src=$2; shift 2
    ff -f lavfi -i "$src" -frames:v "$frames" -c:v libxvid "$@" -q:v 4 "$out/$name.mp4"
    ff -i "$out/$name.mp4" -c copy -bsf:v dump_extra -f m4v "$out/$name.m4v"
    rm -f "$out/$name.mp4"
}
xvid xvid_gmc_qpel_bf2 "$zoom" -gmc 1 -flags +qpel -bf 2
xvid xvid_mpegquant_bf2 "$pan" -mpeg_quant 1 -bf 2
