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
# server used in each, and the busy program's from the take's start until the player. It runs in a virtual display with a
# window manager, as an ordinary user when started as root, on the cores given; all input is
# real pointer clicks. QRN_KEEP_MOVIE names a file to keep the take's movie in.
# Usage: take_on_display.sh QRN_BINARY PACKAGE [SECONDS (default 60)] [BUSY (0 or 1)] [CORES (default 6,7)]
set -euo pipefail
qrn="$(realpath "$1")"
package="$(realpath "$2")"
seconds="${3:-60}"
busy="${4:-0}"
cores="${5:-6,7}"
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
# Watches a column of the autocue's text for $1 seconds, reading it every 10 ms, and prints how
# many times the text stood still for over 100 ms, the longest such time (ms), and when each was:
# the autocue scrolls on every refresh of the display but for its hold at each script's start.
autocue_still() {
  on_screen "$@" <<'PY'
end = time.monotonic() + float(sys.argv[1])
start = time.monotonic()
last, changed, gaps = None, start, []
while time.monotonic() < end:
    image = x11.XGetImage(display, root, 760, 150, 1, 290, 0xffffffff, 2)
    column = tuple(x11.XGetPixel(image, 0, y) for y in range(0, 290, 2)) if image else None
    if image:
        x11.XDestroyImage(image)
    now = time.monotonic()
    if column != last:
        gaps.append((now - changed, changed - start))
        last, changed = column, now
    time.sleep(0.01)
long = [g for g in gaps[1:] if g[0] > 0.1]
print("autocue_still_over_100_ms=%d" % len(long))
print("autocue_longest_still_ms=%.0f" % (1000 * max((g[0] for g in gaps[1:]), default=0)))
# Each as milliseconds@seconds into the take: the holds come at its start and at each step.
print("autocue_still_times=" + ",".join("%.0f@%.1f" % (1000 * g, at) for g, at in long))
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
autocue_still "$seconds" >"$work/still" &
still=$!
for step in 1 2; do
  sleep "$(awk -v b="$begun" -v n="$(now)" -v s="$seconds" -v k="$step" 'BEGIN { t = b / 1e6 + s * k / 3 - n / 1e6; print (t > 0 ? t : 0) }')"
  # The next-slide card.
  click 1460 644
done
sleep "$(awk -v b="$begun" -v n="$(now)" -v s="$seconds" 'BEGIN { t = b / 1e6 + s - n / 1e6; print (t > 0 ? t : 0) }')"
stopped="$(now)" qrn_at_stop="$(ticks "$pid")" server_at_stop="$(ticks "$server")"
click 825 808
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
wait "$still"
cat "$work/still"
[ -z "${QRN_SCREENSHOT:-}" ] || import -window root "$QRN_SCREENSHOT"
if [ -n "${QRN_KEEP_MOVIE:-}" ]; then
  sleep 1
  cp "$(ls -t "$work/deck.qrn3ks"/*.mov | head -1)" "$QRN_KEEP_MOVIE"
fi
