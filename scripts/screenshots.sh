#!/usr/bin/env bash
# Screenshots of the real program under Xvfb: the four pages in English and in German, and the
# dialogs a user meets on the way (input boxes, the duplicate-name message, the confirmation,
# the file and colour dialogs), all from a small demo library.
#
#   scripts/screenshots.sh            builds into build/ and writes out/screenshots/*.png
#   TAVRO_BUILD_DIR=build-gcc scripts/screenshots.sh   uses an existing build directory
#
# The pictures are named <language>-<n>-<what>.png (English-1-Player.png, German-2-PlayList.png
# ...). The program is driven with xdotool as a user would drive it; it is closed through its
# normal close path at the end of each language.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

build=${TAVRO_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_TESTS=OFF \
    -DTAVRO_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j2 --target tavro tavro_pictures tavro_program_files make-test-media

out=$root/out/screenshots
work=$root/out/screenshots-run
rm -rf "$out" "$work"
mkdir -p "$out" "$work"

# The demo program directory: the built program with an album library of its own.
prog=$work/program
cp -r "$build/bin" "$prog"
rm -f "$prog/TAVRO.INI" "$prog/Database.DAT"
media="$build/tools/make-test-media"
make_song() { # album file seconds title
  mkdir -p "$prog/$1"
  "$media" --ogg "$prog/$1/$2" 2 44100 "$3" "TITLE=$4" >/dev/null
}
make_song "Morning Walk" "Sunrise.ogg" 4 Sunrise
make_song "Morning Walk" "Open Fields.ogg" 3 "Open Fields"
make_song "Morning Walk" "River, Slow.ogg" 5 "River, Slow"
make_song "Night Drive" "Neon.ogg" 3 Neon
make_song "Night Drive" "Last Exit.ogg" 4 "Last Exit"
mkdir -p "$prog/Empty Album"
convert -size 201x153 gradient:'#ffcc66-#cc3300' -fill '#ffffff' -draw 'circle 100,60 100,30' \
  "BMP3:$prog/Morning Walk/cover.bmp"
convert -size 160x120 plasma:fractal -seed 7 "BMP3:$work/Chosen.bmp" 2>/dev/null ||
  convert -size 160x120 gradient:navy-aqua "BMP3:$work/Chosen.bmp"
printf '%s\r\n' \
  "Morning Walk" \
  'Sunrise,00:04,4,Sunrise.ogg,"Open Fields",00:03,3,"Open Fields.ogg","River, Slow",00:05,5,"River, Slow.ogg"' \
  "cover.bmp" \
  "Night Drive" \
  'Neon,00:03,3,Neon.ogg,"Last Exit",00:04,4,"Last Exit.ogg"' \
  "" \
  "Empty Album" \
  "" \
  "" >"$prog/Database.DAT"

# A virtual display with a free number chosen by the server itself.
fifo=$(mktemp -u)
mkfifo "$fifo"
exec {displayfd}<>"$fifo"
rm -f "$fifo"
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$displayfd" display_number || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display_number"
export QT_QPA_PLATFORM=xcb
# No sound card is needed: the null device takes whatever is played.
export ALSA_CONFIG_PATH=$root/tests/support/alsa-null.conf

tavro_pid=
cleanup() {
  if [ -n "$tavro_pid" ] && kill -0 "$tavro_pid" 2>/dev/null; then
    kill -TERM "$tavro_pid" 2>/dev/null || true
    wait "$tavro_pid" 2>/dev/null || true
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Without a window manager the window sits exactly where the settings put it, so the places
# below are the window's own coordinates (its layout is fixed).
pause() { sleep "${1:-0.4}"; }
click() { xdotool mousemove --sync "$1" "$2" click 1; pause; }
key() { xdotool key --clearmodifiers "$@"; pause; }
shot_window() { import -window "$window" "$out/$1.png"; }
# A dialog lies over the window (it is centred on it); its title, which only a window manager
# would draw, goes to the log.
shot_screen() {
  import -window root -crop 640x460+0+0 +repage "$out/$1.png"
  local dialog
  dialog=$(xdotool getwindowfocus getwindowname 2>/dev/null || true)
  echo "screenshots: $1: dialog titled \"$dialog\""
}

# Places of the controls (window coordinates): the page control's tab row, and the buttons
# of the PlayList and Options pages.
tab_y=136
page_y=152 # top of a page's area
album_row() { click 80 $((page_y + 16 + 8 + 18 * $1)); }
album_button() { click 184 $((page_y + 16 + 12 + 30 * $1)); } # 0 add, 1 delete, 2 rename ...

run_language() {
  local lang=$1
  printf '[Position]\r\nLeft=0\r\nTop=0\r\n[Language]\r\nValue=%s.lng\r\n' "$lang" >"$prog/TAVRO.INI"
  rm -rf "$work/home"
  mkdir -p "$work/home"
  HOME=$work/home "$prog/tavro" &
  tavro_pid=$!
  window=
  for _ in $(seq 1 100); do
    window=$(xdotool search --onlyvisible --name 'Kelmora \(TAVRO\)' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    kill -0 "$tavro_pid" 2>/dev/null || { echo "screenshots: the program ended early" >&2; exit 1; }
    sleep 0.1
  done
  [ -n "$window" ] || { echo "screenshots: no main window" >&2; exit 1; }
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  pause 0.8
  # The keyboard works inside the page control once one of its controls has the focus: the
  # selected song's field on the Player page takes it without changing anything.
  click 450 183

  # The four pages, stepped through with Ctrl+Tab as the keyboard does it.
  local n=1
  for page in Player PlayList Options About; do
    shot_window "$lang-$n-$page"
    key ctrl+Tab
    n=$((n + 1))
  done
  # Playing: the banner scrolls the song's name, the time counts, the bar grows.
  click 90 394 # Play
  pause 2.5
  shot_window "$lang-1-Player-playing"
  click 198 394 # Stop
  # The click left the focus on the Stop button, outside the page control, where Ctrl+Tab
  # does not step the pages: give it back to the selected song's field first.
  click 450 183
  # The PlayList page with its dialogs (the steps above ended on the Player page).
  key ctrl+Tab
  album_row 0
  shot_window "$lang-5-PlayList-album-selected"
  album_button 0
  shot_screen "$lang-6-add-album-input"
  xdotool type --delay 40 "night drive"
  key Return
  shot_screen "$lang-7-duplicate-name"
  key Return
  album_button 0
  xdotool type --delay 40 "hilfe"
  key Return
  shot_screen "$lang-7-own-name"
  key Return
  album_button 2
  shot_screen "$lang-8-rename-album-input"
  key Escape
  shot_screen "$lang-9-rename-cancelled"
  key Return
  album_button 1
  shot_screen "$lang-10-delete-album-confirm"
  key n
  # The Picture tab of the song area and its file dialog.
  click 420 $((page_y + 10))
  shot_window "$lang-11-Picture-tab"
  click 468 $((page_y + 22 + 60 + 16))
  shot_screen "$lang-12-picture-file-dialog"
  key Escape
  click 420 $((page_y + 10)) # wherever the tabs lie, go back to the song list
  key ctrl+Tab
  # The Options page: the colour dialog.
  click 510 $((page_y + 16 + 8 + 6))
  shot_screen "$lang-13-colour-dialog"
  key Escape

  # Closed as a user closes it; the settings and the library are written.
  kill -TERM "$tavro_pid"
  wait "$tavro_pid" || true
  tavro_pid=
}

run_language English
run_language German
echo "screenshots: written to $out"
ls "$out"
