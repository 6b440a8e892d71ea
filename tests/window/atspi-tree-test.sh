#!/usr/bin/env bash
# The program as a screen reader meets it: TAVRO started under Xvfb on a session bus of its own
# with the accessibility bus, its AT-SPI tree read and checked (scripts/atspi-tree.py), in
# English and in German; everything started here is ended here.
#
#   atspi-tree-test.sh PROGRAM_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
program=$1 source=$2 work=$3

if [ "${1:-}" != "--inner" ]; then
  for tool in xvfb-run dbus-run-session oggenc sox; do
    command -v "$tool" >/dev/null || { echo "atspi-tree-test: $tool missing" >&2; exit 1; }
  done
  rm -rf "$work"
  mkdir -p "$work/prog/Live 1999"
  cp "$program/tavro" "$program"/*.DLL "$work/prog/"
  cp -r "$program/LScripts" "$work/prog/"
  sox -n -r 44100 -c 2 -b 16 "$work/s44.wav" synth 2 sine 440
  oggenc -Q -o "$work/prog/Live 1999/s44.ogg" "$work/s44.wav"
  printf 'Live 1999\r\nSong,00:02,2,s44.ogg\r\ncover.bmp\r\n' > "$work/prog/Database.DAT"
  exec xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-run-session -- "$0" --inner "$work" "$source"
fi

# Inside: a display and a session bus of our own.
work=$2 source=$3
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
export ALSA_CONFIG_PATH=$source/tests/support/alsa-null.conf ASAN_OPTIONS=detect_leaks=0
status=0
for language in English.lng German.lng; do
  printf '[Language]\r\nValue=%s\r\n' "$language" > "$work/prog/TAVRO.INI"
  (cd "$work/prog" && exec ./tavro) >"$work/tavro-$language.log" 2>&1 &
  tavro=$!
  echo "== $language"
  /usr/bin/python3 "$source/scripts/atspi-tree.py" --wait 20 || status=1
  kill "$tavro" 2>/dev/null || true
  wait "$tavro" 2>/dev/null || true
done
exit $status
