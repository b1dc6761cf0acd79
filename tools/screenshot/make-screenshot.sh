#!/bin/sh
# Takes data/screenshots/main-window.png, the picture of the AppStream entry: the program of
# the build's program folder on an Xvfb screen with a few files in its job list, cut out of the
# screen that ImageMagick's import grabs. The job list shows the names as given, so the files
# need not exist. Needs a built program folder (scripts/build), xvfb, xdotool and ImageMagick.
# Usage: tools/screenshot/make-screenshot.sh [build folder]
set -e
cd "$(dirname "$0")/../.."
build=${1:-build}
[ -x "$build/app/velmora" ] || { echo "no program in $build/app; run scripts/build first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A copy of the program folder with settings of its own, so the build's config.ini stays as it is.
cp -a "$build/app" "$work/app"
rm -f "$work/app/config.ini" "$work/app/logFile.txt"
cat > "$work/app/config.ini" <<'INI'
[setting]
displayHelpDialog=0
outputFolder=/home/anna/Videos/Converted
INI
mkdir -p "$work/home"

cat > "$work/shoot.sh" <<'SHOT'
#!/bin/sh
set -e
work=$1
out=$2
C=${CONVERT:-convert}
HOME="$work/home" QT_QPA_PLATFORM=xcb "$work/app/velmora" -- \
  "/home/anna/Videos/Holiday at the sea.mp4" "/home/anna/Videos/Birthday party.avi" \
  "/home/anna/Videos/Concert - encore.mkv" "/home/anna/Videos/Interview.mov" \
  "/home/anna/Music/Morning walk.wav" &
program=$!
window=$(xdotool search --sync --onlyvisible --name '^Velmora MP4 Converter$' | head -n 1)
# Let the window finish its first paint and take in the files.
sleep 3
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$work/screen.png"
kill "$program"
wait "$program" || true
$C "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage \
  -bordercolor '#dfe5ec' -border 48 -strip "$out"
SHOT
mkdir -p data/screenshots
xvfb-run -a -s "-screen 0 1024x768x24" sh "$work/shoot.sh" "$work" "$(pwd)/data/screenshots/main-window.png"
echo "data/screenshots/main-window.png: $(identify -format '%wx%h' data/screenshots/main-window.png)"
