#!/bin/sh
# Rebuilds the image fixtures: BMP variants written by ImageMagick, the variants it cannot
# write built by make_bmp_variants.py, JPEG files from cjpeg with resolution data set by
# exiftool, and each file's reference decode as raw top-down RGB (ImageMagick for BMP,
# djpeg for JPEG). Tests read only the committed results.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp" <<'PY'
import sys
def picture(w, h, path):
    px = bytearray()
    for y in range(h):
        for x in range(w):
            px += bytes([(x * 19 + y * 7) % 256, (y * 29 + x * 3) % 256, (x * y * 11 + 40) % 256])
    open(path, 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + px)
picture(13, 9, sys.argv[1] + '/small.ppm')
picture(64, 48, sys.argv[1] + '/jpeg.ppm')
PY

# BMP variants ImageMagick writes correctly.
convert "$tmp/small.ppm" BMP3:b24.bmp
convert "$tmp/small.ppm" -density 96 -units PixelsPerInch BMP3:b24_96dpi.bmp
convert "$tmp/small.ppm" -colors 2 -type Palette -compress none BMP3:b1.bmp
convert "$tmp/small.ppm" -colors 16 -compress none BMP3:b4.bmp
convert "$tmp/small.ppm" -colors 100 -compress none BMP3:b8.bmp
convert "$tmp/small.ppm" -colors 100 -compress RLE BMP3:rle8.bmp
convert "$tmp/small.ppm" -alpha set -define bmp3:alpha=true BMP3:b32.bmp
convert "$tmp/small.ppm" BMP2:core24.bmp
convert "$tmp/small.ppm" -colors 16 -compress none BMP2:core4.bmp
convert "$tmp/small.ppm" -colors 100 -compress none BMP2:core8.bmp
convert "$tmp/small.ppm" BMP:v5_24.bmp
# Refused by the header rule: larger header with a palette count, or with bit fields.
convert "$tmp/small.ppm" -colors 100 -compress none BMP:v5_8.bmp
convert "$tmp/small.ppm" -alpha set BMP:v5_32.bmp
# ImageMagick's 16-bit files: pixel data for the hand-built variants.
convert "$tmp/small.ppm" -define bmp:subtype=RGB555 BMP3:"$tmp/s555.bmp"
convert "$tmp/small.ppm" -define bmp:subtype=RGB565 BMP3:"$tmp/s565.bmp"

# Variants ImageMagick cannot write, and the expected decodes of the 16-bit ones.
python3 make_bmp_variants.py "$tmp"

for f in b24 b24_96dpi b1 b4 b8 rle8 b32 core24 core4 core8 v5_24 rle8_absolute rle4 topdown24 topdown8 h64_8 v4_24 bare24; do
    if [ -f "$f.bmp" ]; then src="$f.bmp"; else src="$f.dib"; fi
    if [ "$f" = bare24 ] || [ "$f" = h64_8 ]; then continue; fi
    convert "$src" -depth 8 rgb:"$f.rgb"
done
# ImageMagick reads neither a bare DIB nor the 64-byte header's palette: both must match
# the files they were made from.
cp b24.rgb bare24.rgb
cp b8.rgb h64_8.rgb

# JPEG: colour, grey, CMYK, cut short, and resolution variants.
cjpeg -quality 90 -outfile color.jpg "$tmp/jpeg.ppm"
cjpeg -quality 90 -grayscale -outfile grey.jpg "$tmp/jpeg.ppm"
convert "$tmp/jpeg.ppm" -colorspace CMYK -quality 90 cmyk.jpg
python3 -c "import sys; d=open('color.jpg','rb').read(); open('truncated.jpg','wb').write(d[:len(d)*6//10])"
djpeg -pnm color.jpg | tail -c $((64 * 48 * 3)) > color.rgb
djpeg -pnm grey.jpg | tail -c $((64 * 48)) > grey.gray
djpeg -pnm truncated.jpg 2>/dev/null | tail -c $((64 * 48 * 3)) > truncated.rgb

cp color.jpg dpi_cm38.jpg
exiftool -q -overwrite_original -JFIF:ResolutionUnit=cm -JFIF:XResolution=38 -JFIF:YResolution=38 dpi_cm38.jpg
cp color.jpg dpi_in72.jpg
exiftool -q -overwrite_original -JFIF:ResolutionUnit=inches -JFIF:XResolution=72 -JFIF:YResolution=72 dpi_in72.jpg
cp dpi_cm38.jpg exif_in72.jpg
exiftool -q -overwrite_original -ExifByteOrder=II -EXIF:XResolution=72 -EXIF:YResolution=72 -EXIF:ResolutionUnit=inches \
    -EXIF:Orientation#=6 -EXIF:Make=Camera -Comment='first line
second' exif_in72.jpg
cp color.jpg exif_cm.jpg
exiftool -q -overwrite_original -ExifByteOrder=MM -EXIF:XResolution=28.35 -EXIF:YResolution=28.35 \
    -EXIF:ResolutionUnit=cm -EXIF:ExposureTime=0.01 exif_cm.jpg
ls -l
