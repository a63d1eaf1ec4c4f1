#!/bin/bash
# Runs our MPEG-4 decode and YUV to RGB benchmarks and the same work done by the reference
# libraries, and prints both figures and the ratio ours / reference (above 1: we are faster).
#
# MPEG-4: every fixture stream of tests/data/mpeg4, decoded by our decoder and by libavcodec
# (bench/avcodec_decode.c, compiled here when the libavcodec development files are installed)
# from the same access units, one thread, decoding only. The two alternate in ROUNDS rounds
# (default 3) and the table gives the median of each side. YUV to RGB: libswscale's unscaled
# yuv420p to bgr24 converter at the same sizes.
#
# All figures are per CPU second of one thread, so a busy machine disturbs them less.
#
# Usage: bench/compare_video.sh [BUILD_DIR]   (a build configured with -DKV_BENCH=ON;
#        the script builds bench_mpeg4_decode and bench_yuv2rgb in it)
#        ROUNDS=5 STREAMS="pan_mpq_1024x768 mv4_640x480" bench/compare_video.sh
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
DATA=$ROOT/tests/data/mpeg4
ROUNDS=${ROUNDS:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DKV_BENCH=ON -DKV_BUILD_UI=OFF -DKV_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release > /dev/null 2>&1
fi
cmake --build "$BUILD" --target bench_mpeg4_decode bench_yuv2rgb > /dev/null 2>&1

# name -> our figure, from Google Benchmark's JSON (counter per CPU second)
counter() {  # json counter benchmark-name-substring
  python3 - "$1" "$2" "$3" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
for b in doc["benchmarks"]:
    if sys.argv[3] in b["name"]:
        print("%.1f" % b[sys.argv[2]])
        break
PY
}

ratio() { python3 -c "import sys; a, b = float(sys.argv[1]), float(sys.argv[2]); print('%.2f' % (a / b) if b else '-')" "$1" "$2"; }
median() { python3 -c "import sys, statistics; v = [float(x) for x in sys.argv[1:] if x != '-']; print('%.1f' % statistics.median(v) if v else '-')" "$@"; }

STREAMS=${STREAMS:-$(grep -v '^#' "$DATA/fixtures.txt" | awk 'NF {print $1}')}

AVDEC=""
if pkg-config --exists libavcodec libavutil 2>/dev/null; then
  # shellcheck disable=SC2046
  if cc -O2 -o "$WORK/avdec" "$ROOT/bench/avcodec_decode.c" $(pkg-config --cflags --libs libavcodec libavutil) 2> /dev/null; then
    AVDEC="$WORK/avdec"
  fi
fi

filter="BM_Decode/($(echo $STREAMS | tr ' ' '|'))/"
declare -A OURS REF
for round in $(seq "$ROUNDS"); do
  "$BUILD/bench/bench_mpeg4_decode" --benchmark_format=json --benchmark_filter="$filter" \
    > "$WORK/decode.json" 2> /dev/null
  for name in $STREAMS; do
    OURS[$name]="${OURS[$name]:-} $(counter "$WORK/decode.json" fps "BM_Decode/$name/")"
    if [ -n "$AVDEC" ]; then
      REF[$name]="${REF[$name]:-} $("$AVDEC" "$DATA/$name.m4v" 1.0)"
    fi
  done
done

echo "MPEG-4 decoding, pictures per CPU second, one thread, median of $ROUNDS rounds"
if [ -z "$AVDEC" ]; then
  echo "(libavcodec development files not installed: no reference figures)"
fi
printf '%-22s %10s %10s %8s\n' stream ours libavcodec ratio
for name in $STREAMS; do
  # shellcheck disable=SC2086
  ours=$(median ${OURS[$name]})
  ref="-"
  # shellcheck disable=SC2086
  [ -n "$AVDEC" ] && ref=$(median ${REF[$name]})
  r="-"
  [ "$ref" != "-" ] && r=$(ratio "$ours" "$ref")
  printf '%-22s %10s %10s %8s\n' "$name" "$ours" "$ref" "$r"
done

"$BUILD/bench/bench_yuv2rgb" --benchmark_format=json > "$WORK/yuv.json" 2> /dev/null

echo
echo "YUV 4:2:0 to 24-bit BGR, megapixels per CPU second, one thread"
SWS=""
if pkg-config --exists libswscale libavutil 2>/dev/null; then
  cat > "$WORK/sws.cpp" <<'CPP'
// yuv420p -> bgr24 at the given size with libswscale's unscaled converter; prints Mpix/s.
extern "C" {
#include <libswscale/swscale.h>
}
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    std::vector<unsigned char> src(static_cast<size_t>(w) * h * 3 / 2, 128);
    if (argc > 3) {
        std::ifstream in(argv[3], std::ios::binary);
        std::vector<unsigned char> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (f.size() >= src.size()) std::copy(f.begin(), f.begin() + static_cast<long>(src.size()), src.begin());
    }
    std::vector<unsigned char> dst(static_cast<size_t>(w) * h * 3);
    SwsContext* ctx = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                     nullptr, nullptr, nullptr);
    const unsigned char* planes[3] = {src.data(), src.data() + w * h, src.data() + w * h + (w / 2) * (h / 2)};
    const int strides[3] = {w, w / 2, w / 2};
    unsigned char* out[1] = {dst.data()};
    const int outStride[1] = {3 * w};
    long n = 0;
    const std::clock_t start = std::clock();
    double elapsed = 0;
    while (elapsed < 1.0) {
        for (int i = 0; i < 50; ++i) sws_scale(ctx, planes, strides, 0, h, out, outStride);
        n += 50;
        elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }
    std::printf("%.1f\n", static_cast<double>(n) * w * h / elapsed / 1e6);
    sws_freeContext(ctx);
    return 0;
}
CPP
  # shellcheck disable=SC2046
  if g++ -O2 -o "$WORK/sws" "$WORK/sws.cpp" $(pkg-config --cflags --libs libswscale libavutil) 2> /dev/null; then
    SWS="$WORK/sws"
  fi
fi
printf '%-16s %12s %12s %8s\n' size ours libswscale ratio
for size in 320x240 640x480 1024x768; do
  w=${size%x*}
  h=${size#*x}
  ours=$(counter "$WORK/yuv.json" "Mpix/s" "ConvertYUVtoRGB>/$w/$h")
  ref="-"
  if [ -n "$SWS" ]; then
    pic=""
    for f in "$DATA"/*"_$size.yuv"; do [ -f "$f" ] && pic=$f && break; done
    ref=$("$SWS" "$w" "$h" $pic)
  fi
  if [ "$ref" = "-" ]; then
    printf '%-16s %12s %12s %8s\n' "$size" "$ours" "(no libswscale)" "-"
  else
    printf '%-16s %12s %12s %8s\n' "$size" "$ours" "$ref" "$(ratio "$ours" "$ref")"
  fi
done
