#!/bin/bash
# Makes the small seed streams of corpus/mpeg4_decode: four pictures (an I-VOP and three
# P-VOPs) of tiny test pictures, each rewritten into the layout the decoder reads by the
# fixture tool in tests/data/mpeg4, behind the target's option byte. Small pictures keep a
# fuzz run short while covering both quantisation methods, four vectors, dquant, time
# resolution 16, larger f_codes, both IDCT precisions, the post-filter and the viewer's
# maximum size. Needs ffmpeg and python3.
set -euo pipefail
cd "$(dirname "$0")"
REWRITE=../tests/data/mpeg4/m4v_rewrite.py
OUT=corpus/mpeg4_decode
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# seed NAME OPTION_BYTE SOURCE FILTER ENCODER_OPTIONS...
seed() {
  local name=$1 option=$2 src=$3 filter=$4
  shift 4
  local vf=()
  [ -n "$filter" ] && vf=(-vf "$filter")
  ffmpeg -v error -y -f lavfi -i "$src" "${vf[@]}" -frames:v 4 -c:v mpeg4 -threads 1 -bf 0 \
    -sc_threshold 1000000000 "$@" -f m4v "$WORK/$name.orig.m4v"
  python3 "$REWRITE" rewrite "$WORK/$name.orig.m4v" "$WORK/$name.m4v" > /dev/null
  { printf "\\x$option"; cat "$WORK/$name.m4v"; } > "$OUT/$name"
}

seed q3_48x32 00 "testsrc2=size=48x32:rate=30" "" -g 100 -q:v 3 -flags +bitexact
seed q3_48x32_viewer_max 1c "testsrc2=size=48x32:rate=30" "" -g 100 -q:v 3 -flags +bitexact
seed mpq_mv4_pan_48x32 00 "testsrc2=size=640x480:rate=30" "crop=48:32:x='n*13':y='n*7'" \
  -g 100 -q:v 4 -mpeg_quant 1 -flags +mv4+aic+bitexact
seed aq_40x24_filtered 02 "testsrc2=size=40x24:rate=30000/1001" "" \
  -g 100 -b:v 30k -qmin 2 -qmax 31 -lumi_mask 0.3 -p_mask 0.5 -flags +aic+bitexact
seed q31_mpq_48x32 00 "mandelbrot=size=48x32:rate=30000/1001" "" -g 100 -q:v 31 -mpeg_quant 1 -flags +aic+bitexact
seed res16_mv4_32x32_low 01 "mandelbrot=size=32x32:rate=16" "" -g 2 -q:v 2 -flags +mv4+bitexact
seed pan_fcode3_48x32_low_filtered 03 "testsrc2=size=1280x720:rate=30" "crop=48:32:x='n*60':y='n*30'" \
  -g 100 -q:v 8 -flags +bitexact

# A stream larger than the fuzz target's small maximum (48x32) is refused at its VOL header:
# the headers and the start of the first picture of a 200x150 fixture are enough.
python3 - ../tests/data/mpeg4/aq_200x150.m4v "$OUT/aq_200x150_refused" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
first_vop = data.find(b"\x00\x00\x01\xb6")
open(sys.argv[2], "wb").write(b"\x00" + data[:first_vop + 64])
PY
