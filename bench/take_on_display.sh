#!/usr/bin/env bash
# The figure bench_autocue's takeInTheApp rows give for the wait from Stop to the player, taken
# from the built qrn itself: it opens the package (bench_autocue --write_deck=PACKAGE writes the
# talk those rows record over), shows its first slide, opens the studio by its title-bar button
# and the autocue by the studio's, records a take of SECONDS (default 60) with the record button,
# stepped twice by the next-slide card at a third and two thirds of it, and stops it. With BUSY=1,
# one busy program in a session of its own keeps the first of the cores busy from before the
# take until the player shows, as bench_autocue's loaded row has it. Prints the take's length
# (from the first movie file the take writes to the click on Stop) and the wait from that click
# until the player and its controls are on the screen, the processor time qrn and the display's
# server used in each, the busy program's from the take's start until the player, and the most
# memory qrn held by then. It runs in a virtual display with a window manager, as an ordinary user
# when started as root, on the cores given; all input is real pointer clicks. The autocue's text
# is read off the screen through the take from a core outside CORES: the times its moves came late
# are printed last. QRN_KEEP_MOVIE names a file to keep the take's movie in, QRN_KEEP_READS one to
# keep the reads of the autocue in, with the moments of the stop and the steps on a last line after
# a "# ".
# Usage: take_on_display.sh QRN_BINARY PACKAGE [SECONDS (default 60)] [BUSY (0 or 1)] [CORES (default 6,7)]
set -euo pipefail
qrn="$(realpath "$1")"
package="$(realpath "$2")"
seconds="${3:-60}"
busy="${4:-0}"
cores="${5:-6,7}"
# The screen reader's core: the one below the measured ones (or above them, from core 0), or
# QRN_READER_CORE.
reader_core="$((${cores%%[,-]*} - 1))"
[ "$reader_core" -ge 0 ] || reader_core="$((${cores##*[,-]} + 1))"
reader_core="${QRN_READER_CORE:-$reader_core}"
command -v python3 >/dev/null || { echo "missing python3"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/display_session.sh"

# Runs the Python program on standard input with the arguments given, after opening the display
# with libX11, as `x11`, `display` and `root`: reads of the screen with no tool besides Python.
on_screen() {
  python3 -c "$(cat <<'PY'
import ctypes, sys, time
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
x11.XGetPixel.restype = ctypes.c_ulong
x11.XDestroyImage.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
root = x11.XDefaultRootWindow(display)
PY
)
$(cat)" "$@"
}
# Waits until every pixel given as X,Y is light (each channel over 0xa0), looking every 20 ms
# through one 1x1 read of the screen each; prints the moment (microseconds of EPOCHREALTIME)
# it saw them all. Gives up after $1 seconds.
until_light() {
  on_screen "$@" <<'PY'
limit = time.time() + float(sys.argv[1])
points = [tuple(int(v) for v in p.split(",")) for p in sys.argv[2:]]
def light(x, y):
    image = x11.XGetImage(display, root, x, y, 1, 1, 0xffffffff, 2)  # ZPixmap
    if not image:
        return False
    pixel = x11.XGetPixel(image, 0, 0)
    x11.XDestroyImage(image)
    return all((pixel >> shift) & 0xff > 0xa0 for shift in (0, 8, 16))
while time.time() < limit:
    if all(light(x, y) for x, y in points):
        print(time.time_ns() // 1000)
        sys.exit(0)
    time.sleep(0.02)
sys.exit(1)
PY
}
# Watches a column of the autocue's text for $1 seconds, reading it every 10 ms, and writes each
# read as a line "SENT ANSWERED SAME" (seconds of the epoch clock around the server's answer; SAME
# is 1 when the column was as the read before saw it): autocue_stills reads that record. It runs
# on a core of its own outside the measured ones, ahead of anything else there when started as
# root, so its own reads stay on time: a reader sharing the measured cores with qrn, its display
# server and the busy program would read late under load and take its own lateness for the
# autocue's.
autocue_reads() {
  on_screen "$@" <<'PY'
end = time.monotonic() + float(sys.argv[1])
last = None
with open(sys.argv[2], "w") as out:
    while time.monotonic() < end:
        sent = time.time()
        image = x11.XGetImage(display, root, 760, 150, 1, 290, 0xffffffff, 2)
        answered = time.time()
        if image:
            column = tuple(x11.XGetPixel(image, 0, y) for y in range(0, 290, 2))
            x11.XDestroyImage(image)
            out.write("%.6f %.6f %d\n" % (sent, answered, column == last))
            last = column
        time.sleep(0.01)
PY
}
# Reads autocue_reads' record ($1) of a take stopped at $2 and stepped at $3... (microseconds of
# EPOCHREALTIME) and prints how often the text stood still for over 50 ms longer than it usually
# stands between two moves, the longest such time, and when each was (milliseconds@seconds into
# the record). The text scrolls in whole pixels, so at a presenter's pace the screen changes
# only every few refreshes: the usual time is the median between two changes, and a still 50 ms
# longer is a move that came 50 ms late. At the take's start and each step, the wait from the
# click until the next script shows is printed apart, and its hold of 0.1 s is allowed.
# A still runs from the first read that saw a column to the first that saw the next, each read
# timed at the middle of its round trip to the server; it counts only if the reads on both sides
# of each change came under 20 ms apart, so the change is timed within 20 ms; the others are
# printed apart, as the reader's late reads.
autocue_stills() {
  python3 - "$@" <<'PY'
import statistics, sys
reads = [tuple(float(v) for v in line.split()) for line in open(sys.argv[1]) if line[0] != "#"]
stop = float(sys.argv[2]) / 1e6
steps = [float(v) / 1e6 for v in sys.argv[3:]]
if len(reads) < 3:
    print("autocue_reads=%d" % len(reads))
    sys.exit(0)
origin = reads[0][0]
at = [(s + a) / 2 for s, a, _ in reads]
changes = [i for i, r in enumerate(reads) if not r[2] and i > 0 and at[i] < stop]
on_time = lambda i: at[i] - at[i - 1] < 0.02
# A step's click comes while the text stands between two moves, and the next script holds 0.1 s
# once it shows: the part of that still before the click counts as any still, the wait from the
# click until the next script shows is the step's own (printed apart), and the hold is allowed its
# 0.1 s more. The take's start counts as a step.
spans = [(at[b] - at[a], a, b) for a, b in zip(changes, changes[1:])]
usual = statistics.median(length for length, _, _ in spans) if spans else 0
stills, answers, late = [], [], []
hold_after = [origin] + steps
for length, a, b in spans:
    allowed = usual + 0.05
    clicked = [h for h in hold_after if at[a] <= h < at[b]]
    held = [h for h in hold_after if h - 0.02 <= at[a] < h + 1]
    if clicked:
        answers.append((at[b] - clicked[0], clicked[0] - origin))
        length = clicked[0] - at[a]
    elif held and length > 0.05:
        hold_after.remove(held[0])
        allowed += 0.1
    if length > allowed:
        (stills if on_time(a) and on_time(b) else late).append((length, at[a] - origin))
listed = lambda entries: ",".join("%.0f@%.1f" % (1000 * g, t) for g, t in entries)
print("autocue_reads=%d" % len(reads))
print("autocue_reads_over_20_ms_apart=%d" % sum(1 for i in range(1, len(at)) if not on_time(i)))
print("autocue_usual_still_ms=%.0f" % (1000 * usual))
print("autocue_late_over_50_ms=%d" % len(stills))
print("autocue_longest_still_ms=%.0f" % (1000 * max((g for g, _ in stills), default=0)))
print("autocue_late_times=" + listed(stills))
print("autocue_step_answers=" + listed(answers))
print("autocue_late_with_late_reads=" + listed(late))
PY
}
wait_for_window() {
  local from
  from="$(now)"
  until xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; do
    [ $(($(now) - from)) -lt 60000000 ] || { echo "no window $1"; exit 1; }
    sleep 0.1
  done
}
# Processor time, user and system, of process $1 (in clock ticks of 10 ms).
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
seconds_of() { printf '%d.%02d' $(($1 / 100)) $(($1 % 100)); }
movies() { find "$work/deck.qrn3ks" -maxdepth 1 -name '*.mov' | wc -l; }
click() { xdotool mousemove "$1" "$2" click 1; }

server="${pids[0]}"
"${run[@]}" "$qrn" "$work/deck.qrn3ks" >"$work/qrn.log" 2>&1 &
pid=$!
pids+=("$pid")
wait_for_window '^deck$'
sleep 5
# The first slide's tile in the strip (an opened deck shows its last), then the studio.
click 492 831
sleep 1
click 582 169
# The studio's record button, a white disc, then its title bar's autocue button.
until_light 30 825,808 >/dev/null || { echo "no studio"; exit 1; }
sleep 2
click 378 169
wait_for_window '^Autocue$'
sleep 3

if [ "$busy" = 1 ]; then
  setsid ${as_user[@]+"${as_user[@]}"} taskset -c "${cores%%,*}" sh -c 'while :; do :; done' &
  busy_pid=$!
  pids+=("$busy_pid")
  sleep 0.5
fi
before="$(movies)"
click 825 808
# The countdown, then the take's first file.
from="$(now)"
until [ "$(movies)" -gt "$before" ]; do
  [ $(($(now) - from)) -lt 30000000 ] || { echo "the take never started"; exit 1; }
  sleep 0.02
done
begun="$(now)" qrn_at_start="$(ticks "$pid")" server_at_start="$(ticks "$server")"
[ "$busy" != 1 ] || busy_at_start="$(ticks "$busy_pid")"
# The autocue's first script holds a moment at its start, and each step's again.
reader=(taskset -c "$reader_core")
[ "$(id -u)" != 0 ] || reader+=(chrt -f 10)
"${reader[@]}" bash -c "$(declare -f on_screen autocue_reads); autocue_reads \"\$@\"" _ \
  "$seconds" "$work/reads" &
still=$!
steps=()
for step in 1 2; do
  sleep "$(awk -v b="$begun" -v n="$(now)" -v s="$seconds" -v k="$step" 'BEGIN { t = b / 1e6 + s * k / 3 - n / 1e6; print (t > 0 ? t : 0) }')"
  # The next-slide card.
  steps+=("$(now)")
  click 1460 644
done
sleep "$(awk -v b="$begun" -v n="$(now)" -v s="$seconds" 'BEGIN { t = b / 1e6 + s - n / 1e6; print (t > 0 ? t : 0) }')"
# The click on Stop and the watch for the player go from the reader's core, its reads done by now, and
# the wait counts from when the server has the click: starting xdotool is no part of the presenter's
# wait, and beside a busy program on the measured cores it could take a good part of a second.
# The button acts on its release; xdotool's click waits 100 ms after the release before it ends
# unless told no delay, so this click has none and the wait counts from its end.
taskset -pc "$reader_core" $$ >/dev/null
qrn_at_stop="$(ticks "$pid")" server_at_stop="$(ticks "$server")"
xdotool mousemove 825 808 click --delay 0 1
stopped="$(now)"
# The player: its play button under the picture and the title bar's close button.
shown="$(until_light 600 348,741 1531,163)" || { echo "no player"; exit 1; }
qrn_at_player="$(ticks "$pid")" server_at_player="$(ticks "$server")"
[ "$busy" != 1 ] || busy_at_player="$(ticks "$busy_pid")"
took=$((stopped - begun)) waited=$((shown - stopped))
printf 'take_s=%d.%03d\n' $((took / 1000000)) $((took % 1000000 / 1000))
printf 'stop_to_player_s=%d.%03d\n' $((waited / 1000000)) $((waited % 1000000 / 1000))
echo "take_qrn_cpu_s=$(seconds_of $((qrn_at_stop - qrn_at_start)))"
echo "take_display_server_cpu_s=$(seconds_of $((server_at_stop - server_at_start)))"
echo "wait_qrn_cpu_s=$(seconds_of $((qrn_at_player - qrn_at_stop)))"
echo "wait_display_server_cpu_s=$(seconds_of $((server_at_player - server_at_stop)))"
[ "$busy" != 1 ] || echo "busy_program_cpu_s=$(seconds_of $((busy_at_player - busy_at_start)))"
# The most memory qrn held at once, from its start until the player.
echo "peak_memory_mb=$(awk '/^VmHWM/ { print int($2 / 1024) }' "/proc/$pid/status")"
wait "$still"
autocue_stills "$work/reads" "$stopped" "${steps[@]}"
[ -z "${QRN_KEEP_READS:-}" ] || { cp "$work/reads" "$QRN_KEEP_READS" && echo "# $stopped ${steps[*]}" >>"$QRN_KEEP_READS"; }
[ -z "${QRN_SCREENSHOT:-}" ] || import -window root "$QRN_SCREENSHOT"
if [ -n "${QRN_KEEP_MOVIE:-}" ]; then
  sleep 1
  cp "$(ls -t "$work/deck.qrn3ks"/*.mov | head -1)" "$QRN_KEEP_MOVIE"
fi
