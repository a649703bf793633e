#!/bin/sh
# Makes the part-2 conformance streams with independent encoders (ffmpeg's mpeg4, libxvid).
# Usage: make_streams.sh OUTDIR [FRAMES]   -- writes OUTDIR/<name>.m4v (and a few <name>.src.yuv),
# prints nothing on success.
# Streams already there are kept; each is written under a private name and renamed into place, so
# test processes running side by side never see half a file.
set -eu
out=$1
frames=${2:-20}
mkdir -p "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Moving test pattern with a panning window, so that vectors (and global motion) are non-trivial.
pan="testsrc2=size=480x360:rate=25,crop=352:288:x='20+10*t*25/4':y='10+5*t*25/4'"
pan_small="testsrc2=size=480x360:rate=25,crop=320:240:x='20+10*t*25/4':y='10+5*t*25/4'"
# Interlaced test pattern; its raw pictures are kept too, to judge both decoders against the source.
interlaced="testsrc2=size=720x576:rate=25,setfield=tff"
interlaced_frames=8
# Zoom and pan: xvid picks global motion for it.
zoom="mandelbrot=size=352x288:rate=25"

# mpeg4 NAME SOURCE FRAMES OPTIONS...
mpeg4() {
    name=$1; src=$2; n=$3; shift 3
    [ -s "$out/$name.m4v" ] && return 0
    tmp="$out/.$name.$$.m4v"
    ff -f lavfi -i "$src" -frames:v "$n" -c:v mpeg4 "$@" -q:v 4 -f m4v "$tmp"
    mv -f "$tmp" "$out/$name.m4v"
}

# source NAME SOURCE FRAMES -- writes the source pictures as raw yuv420p to NAME.src.yuv.
source() {
    name=$1; src=$2; n=$3
    [ -s "$out/$name.src.yuv" ] && return 0
    tmp="$out/.$name.$$.src.yuv"
    ff -f lavfi -i "$src" -frames:v "$n" -f rawvideo -pix_fmt yuv420p "$tmp"
    mv -f "$tmp" "$out/$name.src.yuv"
}

# libxvid packs B-frames DivX-style (with placeholder not-coded VOPs) unless the headers are global,
# so it encodes into MP4 and the elementary stream is taken out with the headers put back in front.
xvid() {
    name=$1; src=$2; shift 2
    [ -s "$out/$name.m4v" ] && return 0
    tmp="$out/.$name.$$"
    ff -f lavfi -i "$src" -frames:v "$frames" -c:v libxvid "$@" -q:v 4 "$tmp.mp4"
    ff -i "$tmp.mp4" -c copy -bsf:v dump_extra -f m4v "$tmp.m4v"
    rm -f "$tmp.mp4"
    mv -f "$tmp.m4v" "$out/$name.m4v"
}

mpeg4 mpeg4_bf2 "$pan" "$frames" -bf 2
mpeg4 mpeg4_qpel "$pan" "$frames" -flags +qpel
mpeg4 mpeg4_qpel_bf2 "$pan" "$frames" -flags +qpel+mv4 -bf 2
# Video packets in B-VOPs, some of them starting at macroblocks that are skipped without bits.
mpeg4 mpeg4_bf1_packets "$pan_small" "$frames" -bf 1 -ps 300
mpeg4 mpeg4_interlaced "$interlaced" "$interlaced_frames" -flags +ildct+ilme -top 1 -bf 2
source mpeg4_interlaced "$interlaced" "$interlaced_frames"
xvid xvid_gmc_qpel_bf2 "$zoom" -gmc 1 -flags +qpel -bf 2
xvid xvid_mpegquant_bf2 "$pan" -mpeg_quant 1 -bf 2
