#!/usr/bin/env bash
# Installs what is missing, builds TAVRO and starts it from its program directory (build/bin:
# the executable with everything it reads beside it).
#
# Without a display the player runs under Xvfb: a screenshot of its window is written to
# out/tavro-screenshot.png, and the player keeps running on that virtual display until you
# press Ctrl+C (it is then closed through its normal close path, which writes TAVRO.INI).
# TAVRO_SCREENSHOT_ONLY=1 ends it right after the screenshot instead.
#
# A program directory without "Database.DAT" first gets the demo album (tools/DemoLibrary),
# so a first start shows an album and plays it. Without a sound card or a sound server the
# player plays silently through ALSA's null device.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_TESTS=OFF -DTAVRO_BENCH=OFF >/dev/null
cmake --build build -j2

program_dir=$root/build/bin
if ! ls "$program_dir" | grep -qix 'vorbis.dll'; then
  echo "run: note: $program_dir has no Vorbis.DLL yet; the player will say so and end." >&2
fi

if ! ls "$program_dir" | grep -qix 'database.dat'; then
  "$root/build/tools/make-demo-library" "$program_dir"
  echo "run: no library yet: the album \"Demo\" was made in $program_dir"
fi

# Sound: ALSA's "default" device when there is a sound card or a sound server to reach.
has_sound() {
  grep -q '^ *[0-9]' /proc/asound/cards 2>/dev/null && return 0
  [ -n "${PULSE_SERVER:-}" ] && return 0
  local runtime=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
  [ -S "$runtime/pulse/native" ] || [ -S "$runtime/pipewire-0" ]
}
if [ -z "${ALSA_CONFIG_PATH:-}" ] && ! has_sound; then
  export ALSA_CONFIG_PATH=$root/tests/support/alsa-null.conf
  echo "run: no sound card or sound server found: playing silently through ALSA's null device"
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${TAVRO_FORCE_XVFB:-}" ]; then
  exec "$program_dir/tavro"
fi

# No display: a virtual one, with a free display number chosen by the server itself.
mkdir -p out
screenshot=$root/out/tavro-screenshot.png
fifo=$(mktemp -u)
mkfifo "$fifo"
exec {displayfd}<>"$fifo"
rm -f "$fifo"
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$displayfd" display_number || { echo "run: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display_number"
export QT_QPA_PLATFORM=xcb

"$program_dir/tavro" &
tavro_pid=$!

cleanup() {
  # The player takes SIGTERM as a request to close its window, so it ends as a user would.
  if kill -0 "$tavro_pid" 2>/dev/null; then
    kill -TERM "$tavro_pid" 2>/dev/null || true
    wait "$tavro_pid" 2>/dev/null || true
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Wait for the window itself, then let it paint once.
found=
for _ in $(seq 1 100); do
  if xwininfo -name 'Kelmora (TAVRO)' 2>/dev/null | grep -q 'Map State: IsViewable'; then
    found=1
    break
  fi
  if ! kill -0 "$tavro_pid" 2>/dev/null; then
    echo "run: the player ended before its window appeared" >&2
    exit 1
  fi
  sleep 0.1
done
sleep 0.5
if [ -n "$found" ]; then
  import -window 'Kelmora (TAVRO)' "$screenshot"
  echo "run: screenshot of the player's window written to $screenshot"
else
  # No main window (a message box, for one): the whole virtual screen shows what there is.
  import -window root "$screenshot"
  echo "run: the player's main window did not appear; screenshot of the screen written to $screenshot"
fi

if [ -n "${TAVRO_SCREENSHOT_ONLY:-}" ]; then
  exit 0
fi
echo "run: the player runs on the virtual display $DISPLAY; press Ctrl+C to end it."
wait "$tavro_pid"
