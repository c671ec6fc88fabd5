#!/bin/sh
# Copies the bitmaps tested here from a BMP Suite 2.8 build and writes each one's reference PNG
# with the decoder named in ../SOURCES. Needs ImageMagick 6 (convert-im6.q16), Pillow
# (python3-pil) and GIMP 2.10 (gimp-console) from Debian. Run it in this folder:
#   sh make_references.sh /path/to/bmpsuite   (where `make` wrote g/ and q/)
set -eu
suite=$1
python=${PYTHON:-/usr/bin/python3} # Debian's, which python3-pil serves

magick() { # ImageMagick: -alpha set makes a picture without alpha opaque in the PNG. It calls
            # an RLE stream that ends early an unexpected end of file, and still writes it.
    rm -f "$2"
    convert-im6.q16 "$1" -strip -alpha set -depth 8 -define png:exclude-chunks=all "PNG32:$2" ||
        test -s "$2"
}
pillow() {
    "$python" -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).convert("RGBA").save(sys.argv[2])' "$1" "$2"
}
gimp() {
    HOME=$(mktemp -d) gimp-console -i -d -f -n -b "
(let* ((img (car (file-bmp-load RUN-NONINTERACTIVE \"$1\" \"$1\")))
       (drw (car (gimp-image-get-active-drawable img))))
  (file-png-save2 RUN-NONINTERACTIVE img drw \"$2\" \"$2\" 0 9 0 0 0 0 0 0 0)
  (gimp-image-delete img))" -b '(gimp-quit 0)' >/dev/null 2>&1
    # GIMP adds a colour profile that differs from run to run; the pixels stay as GIMP gave them.
    "$python" -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[1], icc_profile=None)' "$2"
}

for name in g/pal8rle g/pal4rle q/pal8rletrns q/pal4rletrns q/pal8rlecut q/pal4rlecut \
            q/rgba16-4444 q/rgba16-5551 q/rgba32-61754 q/rgba32-81284 q/rgba32h56 q/rgba32abf \
            q/rgb32fakealpha; do
    cp "$suite/$name.bmp" .
done
here=$(pwd)
for name in pal8rle pal4rle pal8rletrns pal4rletrns pal8rlecut pal4rlecut rgba32h56; do
    magick "$name.bmp" "$name.png"
done
# No decoder here reads BI_ALPHABITFIELDS; the suite writes the same picture with plain bit fields.
magick "$suite/q/rgba32-2.bmp" rgba32abf.png
for name in rgba16-4444 rgba16-5551 rgba32-61754 rgba32-81284; do
    gimp "$here/$name.bmp" "$here/$name.png"
done
pillow rgb32fakealpha.bmp rgb32fakealpha.png
