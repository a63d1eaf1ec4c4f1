#!/bin/bash
# Makes the MPEG-4 fixture streams and their reference decodes (see README.md).
#
# Each stream is encoded from an ffmpeg test source, rewritten by m4v_rewrite.py into the
# layout our decoder reads (version-1 VOL, configuration headers once, no GOV headers), and
# checked: ffmpeg must decode the rewritten stream to exactly the frames of the original.
# The reference is ffmpeg's own decode of the rewritten stream with the accurate IDCT.
#
# Needs ffmpeg (5.1 was used) and python3. Run from anywhere; writes into this folder.
set -euo pipefail
cd "$(dirname "$0")"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# ONLY="name ..." makes just those fixtures and replaces their manifest lines, leaving the
# other fixtures as they are.
ONLY=${ONLY:-}
MANIFEST=fixtures.txt
if [ -z "$ONLY" ]; then
  {
    echo "# name width height frames reference_frames [extra_frames]"
    echo "# <name>.m4v stream, <name>.yuv the first reference_frames frames of ffmpeg's decode"
    echo "# (planar 4:2:0), <name>.md5 the MD5 of every decoded frame, one per line,"
    echo "# <name>.extra.y the luma planes of the comma-separated extra_frames (0-based)."
  } > "$MANIFEST"
else
  for n in $ONLY; do
    sed -i "/^$n /d" "$MANIFEST"
  done
fi

SUMMARY="$WORK/summary.txt"

# Optional: ffmpeg's exported motion vectors, to show which streams predict from outside the
# picture (needs the libavcodec development files).
MVCHECK=""
if pkg-config --exists libavformat libavcodec libavutil 2>/dev/null; then
  # shellcheck disable=SC2046
  cc -O1 -o "$WORK/mvcheck" mvcheck.c $(pkg-config --cflags --libs libavformat libavcodec libavutil) \
    && MVCHECK="$WORK/mvcheck"
fi
: > "$SUMMARY"

# Common encoder settings: one slice per picture (no resync markers), no B-VOPs, the
# scene-change detector disabled so fast pans stay P-VOPs.
ENC=(-c:v mpeg4 -threads 1 -bf 0 -sc_threshold 1000000000)

decode_md5() {  # stream -> one MD5 per frame; any decoder complaint stops the script
  local err="$WORK/decode.err"
  ffmpeg -v error -threads 1 -idct simple -i "$1" -fps_mode passthrough -f framemd5 - 2> "$err" \
    | grep -v '^#' | awk -F', *' '{print $NF}'
  if [ -s "$err" ]; then
    echo "ffmpeg reports errors decoding $1:" >&2
    cat "$err" >&2
    exit 1
  fi
}

# make NAME FRAMES REF_FRAMES SOURCE FILTER -- ENCODER OPTIONS...
make() {
  local name=$1 frames=$2 ref=$3 src=$4 filter=$5
  shift 6
  if [ -n "$ONLY" ] && [[ " $ONLY " != *" $name "* ]]; then
    return 0
  fi
  local orig="$WORK/$name.orig.m4v"
  local vf=()
  [ -n "$filter" ] && vf=(-vf "$filter")
  ffmpeg -v error -y -f lavfi -i "$src" "${vf[@]}" -frames:v "$frames" "${ENC[@]}" "$@" \
    -f m4v "$orig"
  python3 m4v_rewrite.py rewrite "$orig" "$name.m4v" > "$WORK/$name.rewrite.txt"

  decode_md5 "$orig" > "$WORK/$name.orig.md5"
  decode_md5 "$name.m4v" > "$name.md5"
  if ! cmp -s "$WORK/$name.orig.md5" "$name.md5"; then
    echo "$name: the rewritten stream decodes differently from the original" >&2
    exit 1
  fi
  local n
  n=$(wc -l < "$name.md5")
  if [ "$n" != "$frames" ]; then
    echo "$name: ffmpeg decoded $n frames, expected $frames" >&2
    exit 1
  fi

  ffmpeg -v error -y -threads 1 -idct simple -i "$name.m4v" -fps_mode passthrough \
    -frames:v "$ref" -f rawvideo -pix_fmt yuv420p "$name.yuv"

  local size w h
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$name.m4v")
  w=${size%,*}
  h=${size#*,}

  # Optional later pictures (luma only, to keep the files small), chosen where drift peaks:
  # the last P-VOP before an I-VOP.
  local extra=${EXTRA:-}
  rm -f "$name.extra.y"
  if [ -n "$extra" ]; then
    ffmpeg -v error -y -threads 1 -idct simple -i "$name.m4v" -fps_mode passthrough \
      -f rawvideo -pix_fmt yuv420p "$WORK/$name.all.yuv"
    python3 - "$WORK/$name.all.yuv" "$name.extra.y" "$w" "$h" "$extra" <<'EOF'
import sys
src, dst, w, h, frames = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
size = w * h + 2 * (w // 2) * (h // 2)
data = open(src, "rb").read()
with open(dst, "wb") as out:
    for n in (int(x) for x in frames.split(",")):
        out.write(data[n * size:n * size + w * h])
EOF
  fi
  echo "$name $w $h $frames $ref${extra:+ $extra}" >> "$MANIFEST"

  # Features as ffmpeg's decoder sees them: per-macroblock quantiser changes within a
  # picture (dquant) and macroblocks with four vectors.
  local dbg="$WORK/$name.debug.txt"
  ffmpeg -hide_banner -threads 1 -debug qp+mb_type -i "$name.m4v" -f null - 2> "$dbg" || true
  local features
  features=$(python3 - "$dbg" <<'EOF'
import re, sys
frames = []
mv4 = False
intra_in_p = 0
ptype = False
for line in open(sys.argv[1], errors="replace"):
    if "New frame, type:" in line:
        frames.append(set())
        ptype = line.rstrip().endswith("P")
        continue
    m = re.match(r"\[mpeg4 @ [^\]]*\] ( *\d+.*)$", line)
    if not m or not frames:
        continue
    for qp, kind in re.findall(r"(\d+)([^\d\s]*)", m.group(1)):
        frames[-1].add(int(qp))
        mv4 = mv4 or "+" in kind
        # intra macroblocks print as i/I, or A when AC prediction is on
        if ptype and kind[:1] in ("i", "I", "A"):
            intra_in_p += 1
dq = sum(1 for f in frames if len(f) > 1)
qs = sorted(set().union(*frames)) if frames else []
print("dquant_pictures=%d mb_quants=%s..%s mv4=%s intra_mbs_in_P=%d" % (
    dq, qs[0] if qs else "-", qs[-1] if qs else "-", "yes" if mv4 else "no", intra_in_p))
EOF
)
  if [ -n "$MVCHECK" ]; then
    features="$features $("$MVCHECK" "$name.m4v" 2>/dev/null)"
  fi
  echo "$name ${w}x${h}: $(sed 's/^rewrote [^:]*: //' "$WORK/$name.rewrite.txt"); $features" | tee -a "$SUMMARY"
}

# 160x120, fixed quantiser 2, two groups (repeated headers and GOVs to drop), user data kept.
make q2_160x120 8 8 "testsrc=size=160x120:rate=30" "" -- -g 4 -q:v 2

# 176x144, quantiser 31, second quantisation method, AC prediction, 30000 resolution.
make q31_mpq_176x144 8 8 "mandelbrot=size=176x144:rate=30000/1001" "" -- \
  -g 100 -q:v 31 -mpeg_quant 1 -flags +aic+bitexact

# 200x150 (not a multiple of 16), rate control with adaptive quantisation (dquant).
make aq_200x150 8 8 "testsrc2=size=200x150:rate=30000/1001" "" -- \
  -g 100 -b:v 150k -qmin 2 -qmax 31 -lumi_mask 0.3 -dark_mask 0.3 -p_mask 0.5 -flags +aic+bitexact

# Fast diagonal pan over a large picture: f_code 3, vectors reaching outside the picture.
make pan_176x144 8 8 "testsrc2=size=1280x720:rate=30" \
  "crop=176:144:x='mod(n*40,1000)':y='abs(mod(n*23,400)-200)'" -- \
  -g 100 -q:v 4 -flags +bitexact

# Faster pan with four vectors, second quantisation method: f_code 4.
make pan_mv4_mpq_160x120 8 8 "mandelbrot=size=640x480:rate=30" \
  "crop=160:120:x='mod(n*60,480)':y='mod(n*30,360)'" -- \
  -g 100 -q:v 4 -mpeg_quant 1 -flags +mv4+aic+bitexact

# Resolution 16 (4-bit time increments) over more than a second, four vectors and dquant,
# an I-VOP every 8 pictures so GOV removal changes modulo_time_base.
make res16_mv4_aq_160x120 20 20 "testsrc2=size=160x120:rate=16" "" -- \
  -g 8 -b:v 80k -qmin 2 -qmax 31 -lumi_mask 0.3 -p_mask 0.5 -flags +mv4+aic+bitexact

# Low rate with a wide quantiser range.
make lowrate_176x144 10 10 "testsrc2=size=176x144:rate=30" "" -- \
  -g 100 -b:v 20k -qmin 2 -qmax 31 -lumi_mask 0.2 -flags +bitexact

# High quantisers (24..31) under rate control with dquant: quantiser changes near the top.
make highq_aq_176x144 10 10 "mandelbrot=size=176x144:rate=30" "" -- \
  -g 100 -b:v 2k -qmin 24 -qmax 31 -lumi_mask 0.3 -p_mask 0.5 -flags +aic+bitexact

# CIF with four vectors and AC prediction.
EXTRA=5 make mv4_352x288 6 2 "testsrc2=size=352x288:rate=25" "" -- \
  -g 100 -q:v 6 -flags +mv4+aic+bitexact

# The largest picture the viewer decodes.
make mpq_1024x768 3 1 "testsrc2=size=1024x768:rate=30" "" -- \
  -g 100 -q:v 8 -mpeg_quant 1 -flags +aic+bitexact

# Streams the camera emulator loops: a few seconds, 12 pictures per second, an I-VOP every
# 2 seconds. They are also the 320x240 and 640x480 conformance and benchmark streams.
EXTRA=23,47 make camsim_320x240 48 2 "testsrc2=size=320x240:rate=12" "" -- \
  -g 24 -b:v 250k -qmin 2 -qmax 31 -lumi_mask 0.2 -p_mask 0.3 -flags +aic+bitexact
# (Four vectors with adaptive quantisation make ffmpeg 5.1 write undecodable pictures at
# this size, so this one keeps one vector per macroblock.)
EXTRA=23 make camsim_640x480 48 1 "testsrc2=size=640x480:rate=12" "" -- \
  -g 24 -b:v 500k -qmin 2 -qmax 31 -lumi_mask 0.2 -p_mask 0.3 -flags +aic+bitexact

# Speed streams where the decoder has the most to do: second quantisation method with four
# vectors under a slow zoom (every vector differs a little, many coded coefficients), and the
# largest picture under a fast pan (half-sample positions everywhere, blocks reaching into
# the border).
make zoom_mv4_mpq_640x480 24 1 "testsrc2=size=1280x960:rate=12" \
  "zoompan=z='1+0.006*on':x='iw/2-(iw/zoom/2)':y='ih/2-(ih/zoom/2)':d=1:s=640x480:fps=12" -- \
  -g 100 -q:v 4 -mpeg_quant 1 -flags +mv4+aic+bitexact
make pan_mpq_1024x768 12 1 "testsrc2=size=2048x1536:rate=12" \
  "crop=1024:768:x='mod(n*37,1000)':y='mod(n*21,700)'" -- \
  -g 100 -q:v 6 -mpeg_quant 1 -flags +aic+bitexact
# The other two kinds of stream where speed was measured: plain quantisation with four
# vectors at 640x480, and a fast pan with four vectors at 320x240.
make mv4_640x480 24 1 "testsrc2=size=640x480:rate=12" "" -- \
  -g 100 -q:v 4 -flags +mv4+aic+bitexact
make pan_mv4_320x240 24 1 "testsrc2=size=1280x720:rate=12" \
  "crop=320:240:x='mod(n*29,900)':y='abs(mod(n*17,400)-200)'" -- \
  -g 100 -q:v 4 -flags +mv4+aic+bitexact

echo
cat "$SUMMARY"
