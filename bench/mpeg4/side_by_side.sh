#!/usr/bin/env bash
# MPEG-4 decoding on one core beside `ffmpeg -threads 1`: CPU time (user + system) of each program on
# the same files in the same run, start-up subtracted (whole file minus first frame only), best of
# RUNS, and the ratio. Each of our CPU levels is measured through VISTREL_CPU.
# Usage: side_by_side.sh BUILD_DIR [RUNS] [LEVELS...]   (levels default: c and the highest, "")
# Not a test: nothing here passes or fails on speed.
set -euo pipefail
build=$1
runs=${2:-3}
shift $(( $# >= 2 ? 2 : $# ))
levels=("$@")
[ ${#levels[@]} -eq 0 ] && levels=(c "")
cli="$build/bin/vistrel-cli"
dir="$build/bench-mpeg4-streams"
mkdir -p "$dir"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

pan() { echo "testsrc2=size=$(( $1 + 160 ))x$(( $2 + 120 )):rate=25,crop=$1:$2:x='40+20*sin(t)':y='30+10*t'"; }

# name encoder-options source frames
make_stream() {
    local name=$1 src=$2 frames=$3; shift 3
    [ -s "$dir/$name.m4v" ] && return 0
    ff -f lavfi -i "$src" -frames:v "$frames" "$@" -f m4v "$dir/.$name.m4v"
    mv -f "$dir/.$name.m4v" "$dir/$name.m4v"
}
make_xvid() {
    local name=$1 src=$2 frames=$3; shift 3
    [ -s "$dir/$name.m4v" ] && return 0
    ff -f lavfi -i "$src" -frames:v "$frames" -c:v libxvid "$@" "$dir/.$name.mp4"
    ff -i "$dir/.$name.mp4" -c copy -bsf:v dump_extra -f m4v "$dir/.$name.m4v"
    rm -f "$dir/.$name.mp4"
    mv -f "$dir/.$name.m4v" "$dir/$name.m4v"
}

make_stream asp_bf2_640x480 "$(pan 640 480)" 1500 -c:v mpeg4 -bf 2 -q:v 4 -g 50
make_stream sp_1280x720 "$(pan 1280 720)" 500 -c:v mpeg4 -q:v 4 -g 50
make_stream qpel_352x288 "$(pan 352 288)" 3000 -c:v mpeg4 -flags +qpel -q:v 4 -g 50
make_xvid gmc_352x288 "mandelbrot=size=352x288:rate=25" 1500 -gmc 1 -bf 2 -q:v 4

# CPU seconds (user + system, from getrusage) of a command, best of $runs.
cpu() {
    local best="" t
    for _ in $(seq "$runs"); do
        t=$(python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print(r.ru_utime + r.ru_stime)' "$@")
        best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    echo "$best"
}

printf '%-18s %-6s %10s %10s %7s\n' stream level ours_s ffmpeg_s ratio
for f in "$dir"/*.m4v; do
    name=$(basename "$f" .m4v)
    theirs=$(awk -v a="$(cpu ffmpeg -nostdin -v error -threads 1 -i "$f" -f null -)" \
                 -v b="$(cpu ffmpeg -nostdin -v error -threads 1 -i "$f" -frames:v 1 -f null -)" 'BEGIN { print a - b }')
    for level in "${levels[@]}"; do
        ours=$(awk -v a="$(cpu env VISTREL_CPU="$level" "$cli" decode "$f")" \
                   -v b="$(cpu env VISTREL_CPU="$level" "$cli" decode "$f" --frames 1)" 'BEGIN { print a - b }')
        printf '%-18s %-6s %10.3f %10.3f %7.2f\n' "$name" "${level:-best}" "$ours" "$theirs" \
            "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print (b > 0) ? a / b : 0 }')"
    done
done
