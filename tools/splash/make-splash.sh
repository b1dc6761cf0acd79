#!/bin/sh
# Draws the two splash pictures (420 x 300 Windows bitmaps) with ImageMagick. The corners are
# grey (128, 128, 128), the colour key the splash window cuts out; the shape has hard edges so
# that no blended grey fringe remains. Usage: tools/splash/make-splash.sh <output folder>
set -e
out=${1:-.}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out_dir=$(cd "$out" 2>/dev/null && pwd || echo "$out")
cd "$work"
C=${CONVERT:-convert}
B=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
R=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
CJKB=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc
CJKR=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
# background gradient, diagonal
$C -size 300x420 gradient:'#0c2a52'-'#137a86' -rotate -90 -size 420x300 bg.png
# emblem: ring + play triangle
$C -size 420x300 xc:none -fill none -stroke '#ffffffcc' -strokewidth 5 -draw "circle 78,112 78,62" \
   -stroke none -fill '#ffb347' -draw "polygon 64,88 64,136 104,112" \
   -fill none -stroke '#ffffff55' -strokewidth 2 -draw "circle 78,112 78,50" emblem.png
make_one() {
  out=$1; title2font=$2; title2=$3; tagfont=$4; tag=$5; footfont=$6; foot=$7
  $C bg.png emblem.png -composite \
    -fill '#ffffff14' -stroke none -draw "circle 380,40 380,-70" -draw "circle 40,300 40,220" \
    -fill '#ffffff' -font $B -pointsize 42 -annotate +150+108 'Velmora' \
    -fill '#e8f6fb' -font $title2font -pointsize 26 -annotate +152+146 "$title2" \
    -fill '#ffb347' -stroke none -draw "rectangle 152,166 262,169" \
    -fill '#cfe9f2' -font $tagfont -pointsize 14 -annotate +40+222 "$tag" \
    -fill '#a9d3e0' -font $footfont -pointsize 12 -annotate +40+268 "$foot" \
    inner.png
  # hard-edged rounded shape on the colour key grey
  $C -size 420x300 xc:black +antialias -fill white -draw "roundrectangle 0,0 419,299 24,24" mask.png
  $C -size 420x300 xc:'rgb(128,128,128)' inner.png mask.png -composite -type TrueColor -depth 8 BMP3:"$out_dir/$out"
}
make_one splash-en.bmp $R 'Video Converter' $R 'Convert video and audio between popular formats' $R 'Version 1.0  ·  Starting…'
make_one splash-gb.bmp $CJKB '视频转换器' $CJKR '在各种常用视频与音频格式之间轻松转换' $CJKR '版本 1.0  ·  正在启动…'
