#!/usr/bin/env bash
# listen-bench.sh: TAVRO and Audacious side by side, in real time, as a listener hears them.
#
# Usage:  bash bench/listen-bench.sh BUILD-DIR [ROUNDS]
#   BUILD-DIR  a TAVRO build (its bin/ holds tavro, Vorbis.DLL, MPGLib.DLL, LScripts ...);
#              the folder is only read: each run copies bin/ into a work folder of its own.
#   ROUNDS     rounds of the CPU measurement (default 5).
#   Environment: WINDOW=seconds of each CPU measurement (default 20); KEEP=1 keeps the work
#   folder (/tmp/listen-bench.XXXXXX) with its recordings and screens; ONLY="joins cpu more"
#   picks parts; SIDE=alternate plays the two players of the CPU part one after the other
#   instead of both at once; AUD_OUTPUT=pulse leaves Audacious on its own PulseAudio output.
# It first checks its analysis (bench/listen-analyze-test.py) on made-up recordings with
# known gaps, clicks, jumps and gains. It needs root once, to install what is missing of
# audacious, pulseaudio, pulseaudio-utils and libasound2-plugins (apt-get); the rest comes
# with scripts/install-deps.sh: sox, vorbis-tools, lame, xvfb, openbox, trayer, playerctl,
# xdotool, x11-utils, imagemagick, dbus; and python3.
#
# It starts its own services and ends them itself: a session bus (dbus-run-session), a
# PulseAudio server with a null sink under a private XDG_RUNTIME_DIR and HOME, Xvfb on a
# free display, openbox, trayer. Both players play through ALSA, whose default device is
# PulseAudio's plugin; what reaches the null sink is recorded from its monitor with parec.
#
# What it measures:
#  1. Joins: a 6 s tone cut at 3.0 s into the two songs of one album, Ogg (oggenc) and MP3
#     (lame -V 2), played by TAVRO (the album, "Stop at end of album list" on) and by
#     Audacious (the two files as a playlist): the silence at the join and the tone heard.
#  2. CPU and wake-ups: a 60 s Ogg song, TAVRO hidden in the tray against Audacious headless
#     (-H), TAVRO shown against Audacious shown; each pair measured at once, so that the
#     host's other work weighs on both alike (or, with SIDE=alternate, back to back, the order
#     swapped each round); over WINDOW seconds after 3 s of
#     settling, utime+stime of the whole process (and its threads' run times in ns) and the
#     voluntary and involuntary context switches of all its threads.
#  3. On a 20 s sweep (200 Hz + 100 Hz a second, so the pitch heard tells the second of the
#     song): MPRIS Pause then Play, the window's Pause pressed twice, a click at three
#     quarters of the progress bar; and a ReplayGain album gain of -6.02 dB (track gain -3 dB),
#     the RMS heard against the untagged song before it.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -x "$1/bin/tavro" ]; then
    sed -n '2,7p' "$0" >&2
    echo "listen-bench: no tavro in ${1:-(none)}/bin" >&2
    exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
ANALYZE="python3 $HERE/listen-analyze.py"

# --- Outside the private bus: check the tools, install Audacious, then run inside. ---------
if [ -z "${LISTEN_BENCH_INSIDE:-}" ]; then
    # Audacious (the baseline) and the sound server with ALSA's plugin for it, which the
    # project's own dependencies do not bring.
    wanted=""
    command -v audacious >/dev/null || wanted="$wanted audacious"
    command -v pulseaudio >/dev/null || wanted="$wanted pulseaudio"
    command -v parec >/dev/null || wanted="$wanted pulseaudio-utils"
    dpkg -s libasound2-plugins >/dev/null 2>&1 || wanted="$wanted libasound2-plugins"
    if [ -n "$wanted" ]; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "listen-bench: missing:$wanted; run once as root to install them" >&2
            exit 1
        fi
        echo "listen-bench: installing$wanted"
        apt-get install -y --no-install-recommends $wanted >/dev/null
    fi
    missing=""
    for tool in sox oggenc lame vorbiscomment parec pactl pulseaudio Xvfb openbox trayer \
        playerctl xdotool xwininfo import dbus-run-session dbus-send python3; do
        command -v "$tool" >/dev/null || missing="$missing $tool"
    done
    if [ -n "$missing" ]; then
        echo "listen-bench: missing:$missing (scripts/install-deps.sh)" >&2
        exit 1
    fi
    exec env LISTEN_BENCH_INSIDE=1 dbus-run-session -- bash "$0" "$@"
fi

# The analysis first, on recordings whose answers are known.
if ! python3 "$HERE/listen-analyze-test.py" >"${TMPDIR:-/tmp}/listen-analyze-test.$$" 2>&1; then
    cat "${TMPDIR:-/tmp}/listen-analyze-test.$$" >&2
    rm -f "${TMPDIR:-/tmp}/listen-analyze-test.$$"
    echo "listen-bench: the analysis misreads known recordings; nothing measured" >&2
    exit 1
fi
rm -f "${TMPDIR:-/tmp}/listen-analyze-test.$$"

BUILD=$(cd "$1" && pwd)
ROUNDS=${2:-5}
WINDOW=${WINDOW:-20}
ONLY=${ONLY:-"joins cpu more"}
SIDE=${SIDE:-together}
WORK=$(mktemp -d /tmp/listen-bench.XXXXXX)
PIDS=()

# Ends what this script started, by process id, newest first.
cleanup() {
    local i
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
        kill "${PIDS[i]}" 2>/dev/null || true
    done
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
        for _ in $(seq 50); do
            kill -0 "${PIDS[i]}" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "${PIDS[i]}" 2>/dev/null || true
    done
    if [ -z "${KEEP:-}" ]; then
        rm -rf "$WORK"
    else
        echo "listen-bench: work folder kept: $WORK"
    fi
}
trap cleanup EXIT
# A signal (Ctrl+C, a closed terminal, a reader of the output that went away) still ends
# the services: the EXIT trap runs on the way out.
trap 'exit 130' INT TERM HUP PIPE

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local deadline=$(($(date +%s) + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Ends one started process (by id) and forgets it.
end_pid() {
    local pid=$1 i
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    for i in "${!PIDS[@]}"; do
        [ "${PIDS[i]}" != "$pid" ] || unset 'PIDS[i]'
    done
    PIDS=("${PIDS[@]}")
}

# --- Private services ---------------------------------------------------------------------
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run XDG_CONFIG_HOME=$WORK/home/.config
export XDG_DATA_HOME=$WORK/home/.local/share XDG_CACHE_HOME=$WORK/home/.cache
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER ALSA_CONFIG_PATH TAVRO_ALSA_CAPTURE QT_QPA_PLATFORM

pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --load="module-null-sink sink_name=bench rate=44100 format=s16le channels=2" \
    --load="module-native-protocol-unix" >"$WORK/pulseaudio.log" 2>&1 &
PIDS+=($!)
wait_for 20 pactl info || { cat "$WORK/pulseaudio.log" >&2; exit 1; }
pactl set-default-sink bench

Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=($!)
wait_for 20 test -s "$WORK/display" || { echo "listen-bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$WORK/display")
openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
PIDS+=($!)
wait_for 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "listen-bench: openbox did not start" >&2; exit 1; }
trayer --edge top --align right --widthtype pixel --width 100 --height 32 \
    >"$WORK/trayer.log" 2>&1 &
PIDS+=($!)
wait_for 20 xdotool search --name '^panel$' || { echo "listen-bench: no tray" >&2; exit 1; }

echo "listen-bench: $(date -u '+%F %T') UTC, TAVRO from $BUILD, $(audacious --version 2>/dev/null | head -n1)"
echo "listen-bench: load $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"

# --- Media -----------------------------------------------------------------------------------
MEDIA=$WORK/media
mkdir -p "$MEDIA"
sox -n -r 44100 -c 2 -b 16 "$MEDIA/tone.wav" synth 6 sine 440 gain -6
sox "$MEDIA/tone.wav" "$MEDIA/first.wav" trim 0 3.0
sox "$MEDIA/tone.wav" "$MEDIA/second.wav" trim 3.0
for half in first second; do
    oggenc -Q -q 5 -o "$MEDIA/$half.ogg" "$MEDIA/$half.wav"
    lame --quiet -V 2 "$MEDIA/$half.wav" "$MEDIA/$half.mp3"
done
sox -n -r 44100 -c 2 -b 16 "$MEDIA/song60.wav" synth 60 sine 220-880 sine 330-660 gain -8
oggenc -Q -q 5 -o "$MEDIA/song60.ogg" "$MEDIA/song60.wav"
# A linear sweep, 200 Hz + 100 Hz a second: its pitch tells where in the song a sound lies.
sox -n -r 44100 -c 2 -b 16 "$MEDIA/song20.wav" synth 20 sine 200:2200 gain -6
oggenc -Q -q 5 -o "$MEDIA/song20.ogg" "$MEDIA/song20.wav"
sox -n -r 44100 -c 2 -b 16 "$MEDIA/tone4.wav" synth 4 sine 440 gain -6
oggenc -Q -q 5 -o "$MEDIA/plain.ogg" "$MEDIA/tone4.wav"
cp "$MEDIA/plain.ogg" "$MEDIA/gained.ogg"
vorbiscomment -a -t "REPLAYGAIN_ALBUM_GAIN=-6.02 dB" -t "REPLAYGAIN_ALBUM_PEAK=0.5" \
    -t "REPLAYGAIN_TRACK_GAIN=-3.00 dB" -t "REPLAYGAIN_TRACK_PEAK=0.5" "$MEDIA/gained.ogg"

# --- TAVRO ------------------------------------------------------------------------------------
TAVRO_PID=""

# A program directory $1 holding one album $2 of the files $4... (each $3 seconds long), with
# the settings' general options $5 ("Option 1=1" ...).
make_tavro_dir() {
    local dir=$1 album=$2 seconds=$3 options=$4 songs="" file name
    shift 4
    rm -rf "$dir"
    cp -R "$BUILD/bin" "$dir"
    rm -rf "$dir/Database.DAT" "$dir/TAVRO.INI" "$dir/TAVRO.LCK"
    mkdir -p "$dir/$album"
    for file in "$@"; do
        cp "$file" "$dir/$album/"
        name=$(basename "$file")
        songs="$songs${songs:+,}${name%%.*},$(printf '00:%02d' "$seconds"),$seconds,$name"
    done
    printf '%s\r\n%s\r\n\r\n' "$album" "$songs" >"$dir/Database.DAT"
    printf '[Position]\r\nLeft=0\r\nTop=0\r\n[General Options]\r\n%b[Language]\r\nValue=English.lng\r\n' \
        "$options" >"$dir/TAVRO.INI"
}

start_tavro() {
    (cd "$1" && QT_QPA_PLATFORM=xcb exec ./tavro) >"$1/tavro.log" 2>&1 &
    TAVRO_PID=$!
    PIDS+=("$TAVRO_PID")
    wait_for 30 sh -c 'playerctl -l | grep -qx tavro' ||
        { echo "listen-bench: TAVRO did not come up" >&2; cat "$1/tavro.log" >&2; exit 1; }
}

quit_tavro() {
    dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tavro \
        /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit >/dev/null 2>&1 || true
    for _ in $(seq 100); do
        kill -0 "$TAVRO_PID" 2>/dev/null || break
        sleep 0.1
    done
    end_pid "$TAVRO_PID"
}

tavro_window() {
    { xdotool search --onlyvisible --name '^Kelmora \(TAVRO\)$' 2>/dev/null || true; } | sed -n 1p
}

# The program's tray icon: its visible window of the tray's size at the top of the screen.
tavro_tray_icon() {
    local id
    for id in $(xdotool search --onlyvisible --class tavro 2>/dev/null); do
        local info
        info=$(xwininfo -id "$id")
        local w h y
        w=$(awk '/^  Width:/ {print $2}' <<<"$info")
        h=$(awk '/^  Height:/ {print $2}' <<<"$info")
        y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")
        if [ "$w" -lt 64 ] && [ "$h" -lt 64 ] && [ "$y" -lt 32 ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# --- Audacious --------------------------------------------------------------------------------
AUD_PID=""

AUD_TEMPLATE=$WORK/audacious-config
AUD_OUTPUT=${AUD_OUTPUT:-alsa}

# Audacious's settings as it writes them on its first start, with its output switched from
# PulseAudio to ALSA (the list of plugins it keeps marks the one enabled), so that both
# players reach the sink the same way: ALSA's default device, PulseAudio's plugin.
prepare_audacious() {
    rm -rf "$XDG_CONFIG_HOME/audacious"
    audacious -H >"$WORK/audacious.log" 2>&1 &
    local pid=$!
    PIDS+=("$pid")
    wait_for 30 test -s "$XDG_CONFIG_HOME/audacious/plugin-registry" || true
    sleep 1
    end_pid "$pid"
    if [ "$AUD_OUTPUT" != alsa ]; then
        mkdir -p "$AUD_TEMPLATE"
        return
    fi
    awk '/^output .*\/pulse_audio\.so$/ {o = "pulse"} /^output .*\/alsa\.so$/ {o = "alsa"}
         /^(output|input|general|effect|visualization|transport|playlist|iface) / && !/Output\/(pulse_audio|alsa)\.so$/ {o = ""}
         /^enabled / && o == "pulse" {$0 = "enabled 0"} /^enabled / && o == "alsa" {$0 = "enabled 1"}
         {print}' "$XDG_CONFIG_HOME/audacious/plugin-registry" >"$WORK/plugin-registry"
    rm -rf "$AUD_TEMPLATE"
    mkdir -p "$AUD_TEMPLATE"
    cp "$WORK/plugin-registry" "$AUD_TEMPLATE/plugin-registry"
    grep -A9 'Output/alsa.so' "$AUD_TEMPLATE/plugin-registry" | grep -q '^enabled 1' ||
        echo "listen-bench: could not switch Audacious to ALSA; it plays through PulseAudio" >&2
}

# Audacious with fresh settings for each start: "-H" for headless, then files.
start_audacious() {
    rm -rf "$XDG_CONFIG_HOME/audacious"
    cp -R "$AUD_TEMPLATE" "$XDG_CONFIG_HOME/audacious"
    audacious "$@" >"$WORK/audacious.log" 2>&1 &
    AUD_PID=$!
    PIDS+=("$AUD_PID")
}

stop_audacious() {
    [ -z "$AUD_PID" ] || end_pid "$AUD_PID"
    AUD_PID=""
}

prepare_audacious

# --- Recording --------------------------------------------------------------------------------
REC_PID=""
start_recording() {
    parec -d bench.monitor ${REC_LATENCY:+--latency-msec=$REC_LATENCY} --format=s16le --rate=44100 --channels=2 --raw >"$1" &
    REC_PID=$!
    PIDS+=("$REC_PID")
    # The monitor delivers silence while nothing plays: once some of it has arrived, the
    # recording is running and nothing played after this is lost.
    wait_for 10 sh -c '[ "$(stat -c %s "$0")" -gt 0 ]' "$1" ||
        { echo "listen-bench: parec records nothing" >&2; exit 1; }
}
stop_recording() {
    end_pid "$REC_PID"
}

# Waits until no stream plays into the sink any more (up to $1 seconds), then a little more.
wait_until_quiet() {
    local deadline=$(($(date +%s) + $1))
    sleep 2
    while [ "$(date +%s)" -lt "$deadline" ]; do
        pactl list short sink-inputs | grep -q . || break
        # A stream left open but corked counts as quiet too.
        pactl list sink-inputs | grep -q 'Corked: no' || break
        sleep 0.2
    done
    sleep 1
}

# ============================================================================================
# 1. Joins
# ============================================================================================
if [[ " $ONLY " == *" joins "* ]]; then
    echo
    echo "== 1. Joins: a 6 s tone of 440 Hz cut at 3.0 s into two songs of one album"
    for fmt in ogg mp3; do
        dir=$WORK/tavro-join-$fmt
        make_tavro_dir "$dir" "Join" 3 'Option 1=1\r\n' "$MEDIA/first.$fmt" "$MEDIA/second.$fmt"
            start_tavro "$dir"
        start_recording "$WORK/join-tavro-$fmt.raw"
        playerctl -p tavro play
        wait_for 30 sh -c '[ "$(playerctl -p tavro status)" = Stopped ]' || true
        sleep 1.5
        stop_recording
        quit_tavro
        printf 'TAVRO     %-4s ' "$fmt"
        $ANALYZE join "$WORK/join-tavro-$fmt.raw" | sed -n 1p

        start_recording "$WORK/join-audacious-$fmt.raw"
        start_audacious -H "$MEDIA/first.$fmt" "$MEDIA/second.$fmt"
        sleep 1
        wait_until_quiet 20
        stop_recording
        stop_audacious
        printf 'Audacious %-4s ' "$fmt"
        $ANALYZE join "$WORK/join-audacious-$fmt.raw" | sed -n 1p
    done
fi

# ============================================================================================
# 2. CPU and wake-ups
# ============================================================================================
median() { sort -g | awk '{a[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

if [[ " $ONLY " == *" cpu "* ]]; then
    echo
    echo "== 2. CPU and wake-ups: a 60 s Ogg song into the null sink (TAVRO through ALSA, Audacious through $AUD_OUTPUT), ${WINDOW} s windows, $([ "$SIDE" = together ] && echo "both at once" || echo "one after the other")"
    dir=$WORK/tavro-cpu
    # Option 4: "Show in system tray" (the program starts in it).
    make_tavro_dir "$dir" "Sixty" 60 'Option 4=1\r\n' "$MEDIA/song60.ogg"
    start_tavro "$dir"
    wait_for 20 tavro_tray_icon || { echo "listen-bench: TAVRO shows no tray icon" >&2; exit 1; }
    : >"$WORK/cpu.txt"

    tavro_state() { # shown or hidden (in the tray)
        if [ "$1" = shown ]; then
            if [ -z "$(tavro_window)" ]; then
                xdotool mousemove --window "$(tavro_tray_icon)" 8 8 click 1
                wait_for 10 sh -c '[ -n "$(xdotool search --onlyvisible --name "^Kelmora \(TAVRO\)$")" ]'
            fi
        else
            local w
            w=$(tavro_window)
            [ -z "$w" ] || xdotool windowminimize "$w"
            wait_for 10 sh -c '[ -z "$(xdotool search --onlyvisible --name "^Kelmora \(TAVRO\)$")" ]'
        fi
    }

    audacious_playing() { # $1: -H for headless, or nothing
        if [ -n "$1" ]; then
            start_audacious -H "$MEDIA/song60.ogg"
        else
            start_audacious "$MEDIA/song60.ogg"
            # Beside TAVRO's window, not over it.
            local a=""
            for _ in $(seq 50); do
                a=$({ xdotool search --onlyvisible --pid "$AUD_PID" 2>/dev/null || true; } | sed -n 1p)
                [ -z "$a" ] || break
                sleep 0.1
            done
            [ -z "$a" ] || xdotool windowmove "$a" 720 40
        fi
    }

    # Samples the processes $@ over WINDOW seconds after 3 s of settling; usage lines by pid.
    sample_window() {
        sleep 3
        $ANALYZE sample "$@" >"$WORK/before"
        sleep "$WINDOW"
        $ANALYZE sample "$@" >"$WORK/after"
        STREAMS=$(pactl list sink-inputs | sed -n 's/^\t\tapplication.name = "\(.*\)"$/\1/p' | sort | paste -sd '+')
        $ANALYZE usage "$WORK/before" "$WORK/after" "$WINDOW" >"$WORK/usage"
    }
    columns() { awk -v p="$1" '$1 == p {print $2, $3, $4}' "$WORK/usage"; }
    threads() { awk -v p="$1" '$1 == "threads" && $2 == p {$1 = $2 = ""; print substr($0, 3)}' "$WORK/usage"; }

    # TAVRO in state $1 and Audacious started with $2 (-H or nothing): both at once
    # (SIDE=together), or one after the other, the order given by $3 (tavro or audacious).
    measure() {
        local state=$1 aud_flag=$2 first=$3 t a2 streams tt at
        if [ "$SIDE" = together ]; then
            playerctl -p tavro play
            tavro_state "$state"
            audacious_playing "$aud_flag"
            sample_window "$TAVRO_PID" "$AUD_PID"
            t=$(columns "$TAVRO_PID")
            tt=$(threads "$TAVRO_PID")
            a2=$(columns "$AUD_PID")
            at=$(threads "$AUD_PID")
            streams=$STREAMS
            stop_audacious
            playerctl -p tavro stop
        else
            local step
            for step in $first $([ "$first" = tavro ] && echo audacious || echo tavro); do
                if [ "$step" = tavro ]; then
                    playerctl -p tavro play
                    tavro_state "$state"
                    sample_window "$TAVRO_PID"
                    import -window root "$WORK/screen-tavro-$state-$round.png" 2>/dev/null || true
                    t=$(columns "$TAVRO_PID")
                    tt=$(threads "$TAVRO_PID")
                    playerctl -p tavro stop
                else
                    audacious_playing "$aud_flag"
                    sample_window "$AUD_PID"
                    import -window root "$WORK/screen-audacious-$state-$round.png" 2>/dev/null || true
                    a2=$(columns "$AUD_PID")
                    at=$(threads "$AUD_PID")
                    stop_audacious
                fi
                echo "$STREAMS" >>"$WORK/streams"
            done
            streams="one at a time"
        fi
        # state, TAVRO: cpu % (ticks) wake-ups/s cpu % (ns), Audacious: the same
        echo "$state $t $a2" >>"$WORK/cpu.txt"
        printf '  TAVRO %-6s %5.2f %% of a core (%5.2f %% in ticks), %5.1f wake-ups/s | Audacious %-8s %5.2f %% (%5.2f %%), %5.1f wake-ups/s\n' \
            "$state" "$(cut -d' ' -f3 <<<"$t")" "$(cut -d' ' -f1 <<<"$t")" "$(cut -d' ' -f2 <<<"$t")" \
            "$([ -n "$aud_flag" ] && echo headless || echo shown)" \
            "$(cut -d' ' -f3 <<<"$a2")" "$(cut -d' ' -f1 <<<"$a2")" "$(cut -d' ' -f2 <<<"$a2")"
        echo "    TAVRO's threads:     $tt"
        echo "    Audacious's threads: $at"
        [ "$SIDE" != together ] || echo "    streams: $streams"
    }

    : >"$WORK/streams"
    for round in $(seq "$ROUNDS"); do
        if [ $((round % 2)) -eq 1 ]; then
            measure hidden -H tavro
            measure shown "" audacious
        else
            measure shown "" tavro
            measure hidden -H audacious
        fi
        sleep 1
    done
    quit_tavro
    [ "$SIDE" = together ] ||
        echo "  streams seen in the sink: $(sort -u "$WORK/streams" | paste -sd',' | sed 's/,/, /g')"

    # TAVRO's column $2 over Audacious's $3 in the rows of state $1: each round's ratio, then
    # their median. Columns: 2 cpu (ticks), 3 wake-ups, 4 cpu (ns); Audacious 5, 6, 7.
    ratios() {
        awk -v s="$1" -v t="$2" -v a="$3" '$1 == s && $a > 0 {printf "%.2f\n", $t / $a}' "$WORK/cpu.txt"
    }
    summary() {
        local r
        r=$(ratios "$1" "$2" "$3")
        printf 'median %.2f (rounds: %s)' "$(median <<<"$r")" "$(paste -sd' ' <<<"$r")"
    }
    echo "  CPU,        TAVRO hidden / Audacious headless: $(summary hidden 4 7); in ticks $(summary hidden 2 5); goal <= 1.3"
    echo "  CPU,        TAVRO shown  / Audacious shown:    $(summary shown 4 7); in ticks $(summary shown 2 5); goal <= 0.9"
    echo "  wake-ups/s, TAVRO hidden / Audacious headless: $(summary hidden 3 6); goal <= 1 (no more)"
    echo "  wake-ups/s, TAVRO shown  / Audacious shown:    $(summary shown 3 6); goal <= 1 (no more)"
fi

# ============================================================================================
# 3. Pause then Play, a click on the bar, ReplayGain
# ============================================================================================
position() { # seconds, from MPRIS
    playerctl -p tavro position 2>/dev/null || echo nan
}

if [[ " $ONLY " == *" more "* ]]; then
    echo
    echo "== 3. Pause then Play, Pause twice, a click at three quarters of the bar, album gain -6.02 dB"
    echo "  (the song is a 20 s sweep, 200 Hz + 100 Hz a second: its pitch in the recording tells"
    echo "   which second of the song is heard)"
    dir=$WORK/tavro-more
    make_tavro_dir "$dir" "Twenty" 20 '' "$MEDIA/song20.ogg"
    start_tavro "$dir"
    wait_for 20 sh -c '[ -n "$(xdotool search --onlyvisible --name "^Kelmora \(TAVRO\)$")" ]'
    sleep 1
    # Places in the window from the time display (the navy box, 135 x 49): the progress bar
    # lies 52 px below its top and is as wide as it (23 px high); the Pause button's middle
    # lies 245 px right of its left edge and 166 px below its top.
    win=$(tavro_window)
    import -window "$win" -depth 8 "rgb:$WORK/window.rgb"
    geometry=$(xwininfo -id "$win")
    ww=$(awk '/^  Width:/ {print $2}' <<<"$geometry")
    wh=$(awk '/^  Height:/ {print $2}' <<<"$geometry")
    read -r nx ny _ _ < <($ANALYZE navy "$WORK/window.rgb" "$ww" "$wh") || true
    if [ -z "${ny:-}" ]; then
        echo "  the time display was not found in the window's picture: no clicks"
        nx=""
    fi
    click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }

    start_recording "$WORK/pause.raw"
    playerctl -p tavro play
    sleep 4
    p1=$(position)
    playerctl -p tavro pause
    sleep 2
    p2=$(position)
    playerctl -p tavro play
    sleep 3
    p3=$(position)
    if [ -n "$nx" ]; then
        click $((nx + 245)) $((ny + 166)) # Pause
        sleep 2
        p4=$(position)
        click $((nx + 245)) $((ny + 166)) # Pause again
        sleep 3
        p5=$(position)
        length_us=$(playerctl -p tavro metadata mpris:length)
        click $((nx + (135 * 3 + 2) / 4)) $((ny + 52 + 11)) # three quarters of the bar
        sleep 2.7
        p6=$(position)
        sleep 0.3
    fi
    playerctl -p tavro stop
    sleep 2.5
    stop_recording
    quit_tavro
    printf '  MPRIS Position: %.2f s at Pause, %.2f s while paused, %.2f s 3 s after Play' "$p1" "$p2" "$p3"
    [ -z "$nx" ] || printf '; %.2f s 2 s after the window'"'"'s Pause, %.2f s 3 s after Pause again; %.2f s of %.2f s (%.3f) 2.7 s after the click at 3/4' \
        "$p4" "$p5" "$p6" "$(awk -v l="$length_us" 'BEGIN {print l / 1e6}')" "$(awk -v p="$p6" -v l="$length_us" 'BEGIN {print p / (l / 1e6)}')"
    echo
    echo "  heard (recording time against song time; a silence or a jump starts a new stretch):"
    $ANALYZE sweep "$WORK/pause.raw" 200 100 >"$WORK/sweep.txt"
    sed -n 's/^stretch: /    /p' "$WORK/sweep.txt"
    # Expected: 0-4 s, Pause, 4-7 s, Pause, 7-10 s, the click, 15-18 s.
    read -r -a heard < <(sed -n 's/^values: //p' "$WORK/sweep.txt")
    verdict() { # the end of stretch $1 and the start of stretch $2 (song seconds)
        local end start
        end=$(cut -d: -f2 <<<"${heard[$1]:-nan:nan}")
        start=$(cut -d: -f1 <<<"${heard[$2]:-nan:nan}")
        awk -v e="$end" -v s="$start" 'BEGIN {
            if (e == "nan" || s == "nan") print "not heard";
            else if (s - e > -0.3 && s - e < 0.3) printf "goes on (%.2f s -> %.2f s)", e, s;
            else printf "does not go on (%.2f s -> %.2f s)", e, s }'
    }
    echo "  MPRIS Pause then Play: $(verdict 0 1)"
    if [ -n "$nx" ]; then
        echo "  the window's Pause pressed twice: $(verdict 1 2)"
        last=${heard[${#heard[@]}-1]:-nan:nan}
        awk -v s="$(cut -d: -f1 <<<"$last")" -v n="${#heard[@]}" 'BEGIN {
            if (n < 4) print "  the click at 3/4 of the bar: no jump heard (" n " stretches)";
            else printf "  the click at 3/4 of the bar: the sound goes on from %.2f s = %.3f of the song (goal 0.75)\n", s, s / 20 }'
    fi

    dir=$WORK/tavro-gain
    make_tavro_dir "$dir" "Gain" 4 'Option 1=1\r\n' "$MEDIA/plain.ogg" "$MEDIA/gained.ogg"
    start_tavro "$dir"
    start_recording "$WORK/gain.raw"
    playerctl -p tavro play
    wait_for 30 sh -c '[ "$(playerctl -p tavro status)" = Stopped ]' || true
    sleep 1.5
    stop_recording
    quit_tavro
    printf '  untagged, then REPLAYGAIN_ALBUM_GAIN=-6.02 dB (track -3 dB): '
    $ANALYZE gain "$WORK/gain.raw" | sed -n 1p
    echo "  (goal: ratio 0.500, -6.02 dB)"
fi
