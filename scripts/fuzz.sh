#!/usr/bin/env bash
# Fuzzes the parsers of untrusted bytes with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, in a clang tree of its own (build/fuzz).
# Usage: scripts/fuzz.sh [TARGET|all] [SECONDS]     fuzz one target or each in turn (default all, 60 s)
#        scripts/fuzz.sh seeds                      remake the seed inputs in tests/data/fuzz/
#        scripts/fuzz.sh list                       name the targets
#        scripts/fuzz.sh tally                      executions per target over every run on record
# VISTREL_FUZZ_RUNS=N stops each run after N executions instead (SECONDS still bounds it).
# Every run adds a line to build/fuzz/executions.tsv (date, commit, target, executions, inputs per
# second, outcome); long runs add up over days, and the tally is what says a target has had 10^7.
# Findings land in build/fuzz/findings/TARGET/; a finding that is fixed is copied to
# tests/data/fuzz/TARGET/ (as crash-*, hang-* or leak-*) so that ./test replays it for good.
# The machine is shared: targets run one at a time, one job, at low priority; the build holds the
# shared build lock. Inputs stay below 2 KB (VISTREL_FUZZ_MAX_LEN): a decoder's work follows its
# input, and small inputs reach the same code far more often. The targets' own printing to
# standard output is dropped (-close_fd_mask=1); sanitizer reports go to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh clang libclang-rt-14-dev

build=build/fuzz
data=tests/data/fuzz
lock=/tmp/vistrel-build.lock
what="${1:-all}"
seconds="${2:-60}"
targets=$(ls fuzz/targets/*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
[ -f app/profile/Profile.h ] || targets=$(echo "$targets" | grep -v '^profile_reader$')

configure() {
  # Baseline target, as the program is built: the kernels above it are picked at run time.
  local flags="-fsanitize=fuzzer-no-link -fsanitize-coverage-ignorelist=$root/fuzz/coverage-ignorelist.txt"
  if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q -- "CMAKE_CXX_FLAGS:STRING=$flags\$" "$build/CMakeCache.txt"; then
    flock "$lock" env CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVISTREL_SANITIZE=ON -DVISTREL_TESTS=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  fi
}

build_targets() {
  configure
  # The compiler reads the coverage ignore list but the build does not track it: a changed list
  # rebuilds the tree.
  local stamp="$build/ignorelist.sum" sum
  sum=$(sha1sum fuzz/coverage-ignorelist.txt | cut -d' ' -f1)
  if [ "$(cat "$stamp" 2>/dev/null)" != "$sum" ]; then
    flock "$lock" cmake --build "$build" --target clean >/dev/null
    echo "$sum" >"$stamp"
  fi
  flock "$lock" nice -n 10 cmake --build "$build" -j2 --target "$@"
}

# Seeds: what the parsers meet in real use, each behind the parameter bytes its target reads first.
make_seeds() {
  # The tools come from the shared sanitizer tree, which every developer keeps built.
  local tools=build/asan tmp
  [ -f "$tools/CMakeCache.txt" ] || flock "$lock" cmake -S . -B "$tools" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVISTREL_SANITIZE=ON -DVISTREL_TESTS=ON >/dev/null
  flock "$lock" nice -n 10 cmake --build "$tools" -j2 --target vistrel-h263enc vistrel-m4vframe vistrel-dvr
  local bin="$tools/bin"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"; [ -n "${dvr_pid:-}" ] && kill "$dvr_pid" 2>/dev/null || true' RETURN
  ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
  put() {  # put TARGET NAME PREFIX-HEX FILE [MAXBYTES]
    local dir="$data/$1"
    mkdir -p "$dir"
    { printf "$3"; head -c "${5:-24576}" "$4"; } >"$dir/seed-$2"
  }
  local src="testsrc2=size=176x144:rate=25" big="testsrc2=size=352x288:rate=25"
  ff -f lavfi -i "$src" -frames:v 4 -c:v mpeg4 -q:v 8 -f m4v "$tmp/i_p.m4v"
  ff -f lavfi -i "$src" -frames:v 5 -c:v mpeg4 -q:v 8 -bf 1 -f m4v "$tmp/bframes.m4v"
  ff -f lavfi -i "$src" -frames:v 3 -c:v mpeg4 -q:v 8 -flags +qpel+mv4 -f m4v "$tmp/qpel.m4v"
  ff -f lavfi -i "$src" -frames:v 3 -c:v mpeg4 -q:v 8 -ps 200 -f m4v "$tmp/packets.m4v"
  ff -f lavfi -i "testsrc2=size=176x144:rate=25,setfield=tff" -frames:v 3 -c:v mpeg4 -q:v 8 \
    -flags +ildct+ilme -top 1 -bf 1 -f m4v "$tmp/interlaced.m4v"
  ff -f lavfi -i "$big" -frames:v 2 -c:v mpeg4 -q:v 10 -f m4v "$tmp/cif.m4v"
  ff -f lavfi -i "mandelbrot=size=176x144:rate=25" -frames:v 4 -c:v libxvid -gmc 1 -q:v 8 "$tmp/gmc.avi"
  ff -i "$tmp/gmc.avi" -c copy -bsf:v dump_extra -f m4v "$tmp/gmc.m4v"
  cat "$tmp/i_p.m4v" "$tmp/cif.m4v" "$tmp/i_p.m4v" >"$tmp/sizes.m4v"
  for s in i_p bframes qpel packets interlaced gmc sizes; do
    put mpeg4_library "$s" '\x00\xff' "$tmp/$s.m4v"
  done
  put mpeg4_library bframes-small-chunks '\x03\x00\x07\x01\x3f' "$tmp/bframes.m4v"
  # Tiny pictures: the fuzzer gets through them a hundred times faster than through real sizes.
  local tiny="testsrc2=size=32x32:rate=25"
  ff -f lavfi -i "$tiny" -frames:v 3 -c:v mpeg4 -q:v 8 -bf 1 -f m4v "$tmp/tiny_bframes.m4v"
  ff -f lavfi -i "$tiny" -frames:v 3 -c:v mpeg4 -q:v 8 -flags +qpel+mv4 -f m4v "$tmp/tiny_qpel.m4v"
  ff -f lavfi -i "$tiny" -frames:v 3 -c:v mpeg4 -q:v 8 -ps 50 -mpeg_quant 1 -f m4v "$tmp/tiny_packets.m4v"
  ff -f lavfi -i "testsrc2=size=32x32:rate=25,setfield=tff" -frames:v 3 -c:v mpeg4 -q:v 8 \
    -flags +ildct+ilme -top 1 -f m4v "$tmp/tiny_interlaced.m4v"
  ff -f lavfi -i "mandelbrot=size=32x32:rate=25" -frames:v 3 -c:v libxvid -gmc 1 -q:v 8 "$tmp/tiny_gmc.avi"
  ff -i "$tmp/tiny_gmc.avi" -c copy -bsf:v dump_extra -f m4v "$tmp/tiny_gmc.m4v"
  for s in tiny_bframes tiny_qpel tiny_packets tiny_interlaced tiny_gmc; do
    put mpeg4_library "$s" '\x00\x0f' "$tmp/$s.m4v"
  done
  "$bin/vistrel-m4vframe" "$tmp/tiny_bframes.m4v" "$tmp/tiny.dvr" --size-hint none --info-inside
  put mpeg4_adapter tiny '\x01\x00\x0f' "$tmp/tiny.dvr"
  put decoder_classes tiny-live-mpeg4 '\x01\x00\x0f' "$tmp/tiny.dvr"
  put decoder_classes tiny-playback-mpeg4 '\x83\x00\x0f' "$tmp/tiny.dvr"

  ff -f lavfi -i "$src" -frames:v 4 -f rawvideo -pix_fmt yuv420p "$tmp/qcif.yuv"
  ff -f lavfi -i "testsrc2=size=320x240:rate=25" -frames:v 3 -f rawvideo -pix_fmt yuv420p "$tmp/qvga.yuv"
  "$bin/vistrel-h263enc" "$tmp/qcif.yuv" "$tmp/qcif.h263" --size 176x144 --framed --gop 3 -q 12
  "$bin/vistrel-h263enc" "$tmp/qvga.yuv" "$tmp/qvga.h263" --size 320x240 --framed --header -q 16
  put h263_decoder qcif '\x00\x00\xff' "$tmp/qcif.h263"
  put h263_decoder qvga-header '\x02\x01\x10\x40' "$tmp/qvga.h263"
  put decoder_classes live-h263 '\x80\x00\x3f' "$tmp/qvga.h263"
  put decoder_classes playback-h263 '\x82\x00\xff' "$tmp/qcif.h263"

  "$bin/vistrel-m4vframe" "$tmp/i_p.m4v" "$tmp/framed.dvr" --size-hint none
  "$bin/vistrel-m4vframe" "$tmp/i_p.m4v" "$tmp/info.dvr" --info-between --info-inside
  "$bin/vistrel-m4vframe" "$tmp/i_p.m4v" "$tmp/headerless.dvr" --headerless --strip-headers
  "$bin/vistrel-m4vframe" "$tmp/sizes.m4v" "$tmp/sizes.dvr" --size-hint none
  for s in framed info headerless sizes; do
    put mpeg4_adapter "$s" '\x00\x00\xff' "$tmp/$s.dvr"
  done
  put decoder_classes live-mpeg4 '\x81\x00\x3f' "$tmp/framed.dvr"
  put decoder_classes playback-mpeg4 '\x03\x01\x05\x40' "$tmp/info.dvr"

  # The emulator's answers: live bodies of an H.263 and an MPEG-4 channel, a playback body with
  # audio, its HTML error page.
  "$bin/vistrel-dvr" --port 0 >"$tmp/dvr.out" 2>&1 &
  dvr_pid=$!
  local port=""
  for _ in $(seq 1 200); do
    port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9][0-9]*\).*|\1|p' "$tmp/dvr.out" | head -n1)
    [ -n "$port" ] && break
    sleep 0.05
  done
  [ -n "$port" ] || { echo "fuzz.sh: the emulator did not start" >&2; return 1; }
  local base="http://127.0.0.1:$port"
  curl -s --max-time 3 -o "$tmp/live1.dvr" "$base/pushall.htm;0?scrw=1024" || true
  curl -s --max-time 3 -o "$tmp/live9.dvr" "$base/pushall.htm;8?scrw=1024" || true
  local day hour startH startL endL
  day=$(date +%d); hour=$(date +%H)
  startH=$(printf '%x' $(( $(date +%Y) | (10#$(date +%m) << 16) | (10#$day << 24) )))
  startL=$(printf '%x' $(( 10#$hour << 8 )))
  endL=$(printf '%x' $(( (10#$hour << 8) | (59 << 16) | (59 << 24) )))
  curl -s --max-time 5 -o "$tmp/playback.rec" \
    "$base/dvr_playback.htm?func=read&video_source=FFFF&startH=$startH&startL=$startL&endH=$startH&endL=$endL" || true
  curl -s --max-time 3 -o "$tmp/missing.html" -D "$tmp/missing.head" "$base/nothing.htm" || true
  kill "$dvr_pid" 2>/dev/null || true
  wait "$dvr_pid" 2>/dev/null || true
  dvr_pid=""

  put live_frame_buffer h263 '\x00\x03\x00\x7f\x10\xff' "$tmp/live1.dvr"
  put live_frame_buffer mpeg4 '\x01\x03\x00\x7f\x10\xff' "$tmp/live9.dvr"
  put decoder_classes live-emulator-mpeg4 '\x01\x00\x0f' "$tmp/live9.dvr"
  put record_reader emulator '' "$tmp/playback.rec" 65536
  # The type-14 packets of the recording, each behind its 16-bit length, for the converter alone.
  python3 - "$tmp/playback.rec" "$tmp/packets.bin" <<'EOF'
import struct, sys
body = open(sys.argv[1], 'rb').read()
out = bytearray()
i = body.find(b'\xff\xff\xfe\xdd')
while i >= 0 and len(out) < 24576:
    hdr = 54 if body[i + 5] == 2 else 38
    length = struct.unpack_from('<I', body, i + 12)[0]
    rtype = struct.unpack_from('<H', body, i + 24)[0]
    if rtype == 14 and 0 < length < 65536:
        out += struct.pack('<H', length) + body[i + hdr:i + hdr + length]
    i = body.find(b'\xff\xff\xfe\xdd', i + hdr + length)
open(sys.argv[2], 'wb').write(out)
EOF
  put chunk_converter emulator-packets '' "$tmp/packets.bin"

  { cat "$tmp/missing.head" "$tmp/missing.html"; } >"$tmp/page.txt"
  put http_checks error-page '' "$tmp/page.txt"
  for t in h263 kvr4 jpeg xvd4 vweb; do printf 'video/x-qdaxwm%s' "$t" >"$tmp/ct"; put http_checks "type-$t" '' "$tmp/ct"; done
  printf 'http://dvr.example:81/pushall.htm;3?scrw=1024' >"$tmp/url"; put http_checks url '' "$tmp/url"

  printf -- '--host\0dvr.example\0--port\08080\0--channel\016\0--user\0admin\0--password\0secret' >"$tmp/args"
  put cli_arguments typical '' "$tmp/args"
  printf -- '--port\0\0--channel\00\0--host\0a b\0--seconds\0-1.5' >"$tmp/args"
  put cli_arguments bad-values '' "$tmp/args"

  printf 'QM_HOST_COUNT=2#\r\nQM_ACCOUNT_COUNT=1#\r\nQM_HOST0=192.0.2.1#\r\nQM_PORT0=80#\r\nQM_HOST1=dvr#\r\nQM_PORT1=81#\r\nQM_NAME0=admin#\r\n' >"$tmp/profile"
  put profile_reader indexed '' "$tmp/profile"
  printf 'QM_HOST=192.0.2.7\r\nQM_NAME=old\r\nQM_PASS=pw\r\nQM_PORT=80\r\n' >"$tmp/profile"
  put profile_reader single-entry '' "$tmp/profile"
  du -sh "$data"
}

ledger=$build/executions.tsv
tally() {
  [ -f "$ledger" ] || { echo "no runs on record ($ledger)"; return 0; }
  awk -F'\t' '{ n[$3] += $4; if ($6 == "finding") bad[$3]++ }
    END { for (t in n) printf "%-20s %12d executions%s\n", t, n[t], bad[t] ? "  (" bad[t] " runs with findings)" : "" }' \
    "$ledger" | sort
}

case "$what" in
  list) echo "$targets"; exit 0 ;;
  tally) tally; exit 0 ;;
  seeds) make_seeds; exit 0 ;;
  all) run="$targets" ;;
  *)
    echo "$targets" | grep -qx "$what" || { echo "fuzz.sh: no target $what (try: list)" >&2; exit 2; }
    run="$what" ;;
esac

# nice weighs a process only against the others of its scheduler autogroup, and every session has
# one. A runner without a terminal (started with setsid to outlive one, or by a job runner) sits in
# a session apart from the interactive ones, where nice would weigh against nothing and the fuzzer
# would take a whole core from everyone's builds and tests; so that session's autogroup is lowered.
if [ "$(ps -o tty= -p $$ | tr -d ' ')" = "?" ] && [ -w /proc/self/autogroup ]; then
  echo 10 >/proc/self/autogroup 2>/dev/null || true
fi
build_targets $(for t in $run; do echo "fuzz_$t"; done)
# A 16 MB quarantine instead of 256 MB: freed blocks still wait before reuse (a use after free is
# still seen), but the allocator stops handing out fresh pages to fault in for every input.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:quarantine_size_mb=16"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for t in $run; do
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  echo "== $t for $seconds s"
  # The kept inputs seed the corpus; new interesting inputs go to the build tree only. The time
  # limit is wall-clock and these runs give way to everyone's builds: a unit that takes one second
  # of processor time took ten on the busy machine, while a real hang still runs past thirty.
  outcome=clean
  nice -n 10 "$build/bin/fuzz_$t" "$corpus" "$data/$t" -max_total_time="$seconds" \
    ${VISTREL_FUZZ_RUNS:+-runs="$VISTREL_FUZZ_RUNS"} \
    -timeout=30 -rss_limit_mb=2048 -max_len="${VISTREL_FUZZ_MAX_LEN:-2048}" -close_fd_mask=1 -artifact_prefix="$findings/" -print_final_stats=1 \
    2>"$build/findings/$t.log" || outcome=finding
  # Stopped by hand (^C) is not a finding: what ran until then ran clean.
  if [ $outcome = finding ] && grep -q 'libFuzzer: run interrupted' "$build/findings/$t.log"; then
    outcome=interrupted
  fi
  [ $outcome = finding ] && echo "finding in $t: see $findings/ and $build/findings/$t.log"
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$build/findings/$t.log" || true
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/findings/$t.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/findings/$t.log")
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$(git rev-parse --short HEAD 2>/dev/null || echo -)" \
    "$t" "${executed:-0}" "${rate:-0}" "$outcome" >>"$ledger"
done
tally
