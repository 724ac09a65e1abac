#!/usr/bin/env bash
# Writes the BMP fixtures of this folder with ImageMagick (`convert`) and netpbm (`ppmtobmp`), and the
# reference decodes of the 16-bit and run-length coded files with ImageMagick (`*.rgb.ppm`). Run it here; the files are kept in
# the repository so that the reader's tests run where neither tool is installed.
set -euo pipefail
cd "$(dirname "$0")"
convert=$(command -v convert-im6.q16 || command -v convert)

# The source: 23 x 9 pixels, runs of one colour on the left (run-length codes use runs), varied colours on
# the right (absolute blocks), 60 colours in all; and a grey one.
python3 - <<'PY'
w, h = 23, 9
with open("/tmp/zrk_bmp_src.ppm", "wb") as f:
    f.write(b"P6 %d %d 255\n" % (w, h))
    for y in range(h):
        for x in range(w):
            if x < 10:
                f.write(bytes([(y * 40) & 255, 200 - y * 20, 30 + (x // 5) * 100]))
            else:
                k = (x * 3 + y * 5) % 40
                f.write(bytes([k * 6, 255 - k * 5, (k * 37) & 255]))
with open("/tmp/zrk_bmp_src.pgm", "wb") as f:
    f.write(b"P5 %d %d 255\n" % (w, h))
    for y in range(h):
        for x in range(w):
            f.write(bytes([y * 25 if x < 12 else (x * 11 + y * 7) & 255]))
PY
src=/tmp/zrk_bmp_src.ppm grey=/tmp/zrk_bmp_src.pgm

"$convert" $src -type palette im_p8_rle.bmp                           # 8-bit palette, RLE8 (the default)
"$convert" $src -type palette BMP3:im_p8_rle_v3.bmp                   # the same, 40-byte header
"$convert" $src -type palette -compress none im_p8.bmp                # 8-bit palette, uncompressed
"$convert" $grey -type palette im_grey8_rle.bmp                       # grey palette, RLE8
"$convert" $src -colors 16 im_p4.bmp                                  # 4-bit palette
"$convert" $grey -colors 16 -type palette im_grey4.bmp                # 4-bit grey palette
"$convert" $src -colors 2 im_p1.bmp                                   # 1-bit colour palette
"$convert" $src -monochrome im_mono.bmp                               # 1-bit black and white
"$convert" $src -type palette BMP2:im_core8.bmp                       # 12-byte core header, 8 bits
"$convert" $src -type truecolor BMP2:im_core24.bmp                    # 12-byte core header, 24 bits
"$convert" $src -type truecolor im_24.bmp                             # 24 bits, 124-byte header
"$convert" $src -define bmp:subtype=RGB565 im_565.bmp                 # 16 bits, bit fields 5-6-5
"$convert" $src -define bmp:subtype=RGB555 im_555.bmp                 # 16 bits, bit fields 5-5-5
"$convert" $src -alpha set -channel A -fx "i/w" +channel im_argb.bmp # 32 bits, bit fields with alpha
"$convert" $src -alpha set -channel A -fx "j/h" +channel -define bmp3:alpha=true BMP3:im_bgra_v3.bmp
# ImageMagick's run-length codes cover each row's padding too, which some decoders take for the next row.
for f in im_565 im_555 im_p8_rle im_p8_rle_v3 im_grey8_rle; do "$convert" $f.bmp -depth 8 ppm:$f.rgb.ppm; done

"$convert" $src -colors 2 ppm:- | ppmtobmp -windows > nb_p1.bmp 2>/dev/null
"$convert" $src -colors 16 ppm:- | ppmtobmp -windows > nb_p4.bmp 2>/dev/null
"$convert" $src -colors 100 ppm:- | ppmtobmp -windows > nb_p8.bmp 2>/dev/null
"$convert" $src -colors 16 ppm:- | ppmtobmp -os2 > nb_core4.bmp 2>/dev/null
"$convert" $src -colors 2 ppm:- | ppmtobmp -os2 > nb_core1.bmp 2>/dev/null
ppmtobmp -windows -bpp 24 $src > nb_24.bmp 2>/dev/null
ppmtobmp -windows $grey > nb_grey8.bmp 2>/dev/null
rm -f $src $grey
