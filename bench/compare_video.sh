#!/bin/bash
# Runs our MPEG-4 decode and YUV to RGB benchmarks and the same work done by ffmpeg
# (`ffmpeg -threads 1 -benchmark`, decoding to null) and libswscale (yuv420p to bgr24, same
# sizes, through a small program compiled here when the libswscale development files are
# installed), and prints both figures and the ratio ours / reference (above 1: we are faster).
#
# All figures are per CPU second of one thread, so a busy machine disturbs them less.
#
# Usage: bench/compare_video.sh [BUILD_DIR]   (a build configured with -DKV_BENCH=ON;
#        the script builds bench_mpeg4_decode and bench_yuv2rgb in it)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-bench}
DATA=$ROOT/tests/data/mpeg4
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

"$BUILD/bench/bench_mpeg4_decode" --benchmark_format=json > "$WORK/decode.json" 2> /dev/null
"$BUILD/bench/bench_yuv2rgb" --benchmark_format=json > "$WORK/yuv.json" 2> /dev/null

ratio() { python3 -c "import sys; a, b = float(sys.argv[1]), float(sys.argv[2]); print('%.2f' % (a / b) if b else '-')" "$1" "$2"; }

echo "MPEG-4 decoding, pictures per CPU second, one thread"
printf '%-16s %12s %12s %8s\n' stream ours ffmpeg ratio
for size in 320x240 640x480; do
  ours=$(counter "$WORK/decode.json" fps "Decode$size")
  ref="-"
  if command -v ffmpeg > /dev/null; then
    # 20 passes over the stream so the time is long enough to measure.
    log=$(ffmpeg -hide_banner -nostdin -threads 1 -benchmark -stream_loop 19 \
      -i "$DATA/camsim_$size.m4v" -f null - 2>&1)
    utime=$(echo "$log" | sed -n 's/.*bench: utime=\([0-9.]*\)s.*/\1/p' | tail -1)
    frames=$(echo "$log" | tr '\r' '\n' | sed -n 's/^frame= *\([0-9]*\).*/\1/p' | tail -1)
    ref=$(python3 -c "import sys; print('%.1f' % (int(sys.argv[1]) / float(sys.argv[2])))" "$frames" "$utime")
  fi
  printf '%-16s %12s %12s %8s\n' "camsim_$size" "$ours" "$ref" "$(ratio "$ours" "$ref")"
done

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
