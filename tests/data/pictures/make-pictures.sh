#!/bin/sh
# Remakes the reference pictures here: each X.bmp / X.tga as ImageMagick (im_*) or Pillow (pil_*)
# writes it, and X.png, the same picture written as PNG by the same tool. The reader tests
# compare every pixel. Needs ImageMagick's convert and python3-pil; run in this folder.
set -e
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
# Sources: two colours, four colours, a gradient with many colours (all 7 x 5, odd row length).
convert -size 7x5 xc:red -fill blue -draw "point 1,1" -fill white -draw "rectangle 3,0 4,2" "$src/two.png"
convert -size 7x5 xc:red -fill blue -draw "point 1,1 point 2,3" -fill "#10e020" -draw "line 0,4 6,4" \
  -fill white -draw "rectangle 3,0 4,2" "$src/four.png"
convert -size 7x5 gradient:red-blue -fill "#10e020" -draw "point 2,2" "$src/grad.png"
convert -size 7x5 xc:black -channel R -fx "i/6" -channel G -fx "j/4" -channel B -fx "(i+j)/10" +channel "$src/many.png"

# ImageMagick keeps TGA rows in file order and notes the orientation; -auto-orient puts the
# reference PNG's rows in the order the file's descriptor gives.
im() { out=$1; shift; convert "$@" "$out"; convert "$out" -auto-orient "${out%.*}.png"; }
im im_pal1.bmp "$src/two.png" -colors 2 -type Palette
im im_pal4.bmp "$src/four.png" -type Palette
im im_pal8.bmp "$src/many.png" -type Palette
im im_rle8.bmp "$src/four.png" -type Palette -compress RLE
im im_os2_pal4.bmp "$src/four.png" -type Palette -define bmp:format=bmp2
im im_555.bmp "$src/grad.png" -define bmp:subtype=RGB555
im im_565.bmp "$src/grad.png" -define bmp:subtype=RGB565
im im_map.tga "$src/four.png" -type Palette
im im_map_rle.tga "$src/four.png" -type Palette -compress RLE
im im_map16_top.tga "$src/four.png" -type Palette -depth 5 -orient TopLeft
im im_grey.tga "$src/grad.png" -type Grayscale
im im_grey_rle.tga "$src/grad.png" -type Grayscale -compress RLE
im im_16.tga "$src/many.png" -depth 5 -type TrueColor
im im_16_alpha_rle.tga "$src/grad.png" -alpha set -channel A -fx "i>3" +channel -depth 5 -compress RLE

/usr/bin/python3 - "$src" <<'PY'
import sys
from PIL import Image
src = sys.argv[1]
four = Image.open(src + "/four.png").convert("RGB")
grad = Image.open(src + "/grad.png").convert("RGB")
def pil(name, image, **options):
    image.save(name, **options)
    Image.open(name).convert("RGBA" if image.mode in ("LA", "RGBA") else "RGB").save(name[:-4] + ".png")
pil("pil_1.bmp", four.convert("1"))
pil("pil_p.bmp", four.convert("P", palette=Image.ADAPTIVE, colors=4))
pil("pil_l.bmp", grad.convert("L"))
pil("pil_p.tga", four.convert("P", palette=Image.ADAPTIVE, colors=4))
pil("pil_p_rle_top.tga", four.convert("P", palette=Image.ADAPTIVE, colors=4), compression="tga_rle", orientation=1)
pil("pil_l_rle.tga", grad.convert("L"), compression="tga_rle")
pil("pil_la.tga", grad.convert("LA"))
PY
