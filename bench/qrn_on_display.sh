#!/usr/bin/env bash
# The figures bench_project's BM_OpenSlideDeckInTheAppOnDisplay rows give, taken from the built
# qrn itself opening a package from its command line: launch to idle (the start of the first half
# second in which the main thread used under 30 % of a core; and in which the whole process did,
# its picture decoding included), the main thread at rest with the live
# test camera, a click on the script pane's tab (the main thread's time over the second after it,
# less what it uses at rest), the same for a click on a slide tile far from the one shown, and
# the peak memory (VmHWM); then the main thread's time per notch of the wheel over the slide
# strip, and whether the strip keeps up. It runs in a virtual display with a
# window manager, as an ordinary user when started as root, on the cores given.
# Usage: qrn_on_display.sh QRN_BINARY PACKAGE [CORES (default 6,7)]
set -euo pipefail
qrn="$(realpath "$1")"
package="$(realpath "$2")"
cores="${3:-6,7}"
source "$(dirname "${BASH_SOURCE[0]}")/display_session.sh"
# As bench_project's rows do: the machine backs the memory qrn is about to take before it starts
# (a virtual machine hands memory that has lain free back to its host, and the first process to
# touch it again pays for the host's faults). A read of 2 GB of zeros into dd's buffer touches it.
dd if=/dev/zero of=/dev/null bs=2048M count=1 status=none
start="$(now)"
"${run[@]}" "$qrn" "$work/deck.qrn3ks" >"$work/qrn.log" 2>&1 &
pid=$!
pids+=("$pid")
cpu() { local a; read -r a _ <"/proc/$pid/task/$pid/schedstat"; echo "$a"; } # nanoseconds

# The editing screen takes the package's name as it starts opening it, and opens it in one go:
# the quiet that counts comes after that.
until xdotool search --onlyvisible --name '^deck$' >/dev/null 2>&1; do
  [ $(($(now) - start)) -lt 60000000 ] || { echo "no window"; exit 1; }
  sleep 0.02
done
# Samples the CPU time (nanoseconds) that the command $1 prints every 50 ms; prints the start,
# from the launch in microseconds, of the first window of 0.5 s or more with under 30 % of a core.
first_quiet() {
  local times=() cpus=() first=0 last end span
  while :; do
    times+=("$(now)") cpus+=("$($1)")
    last=$((${#times[@]} - 1))
    while [ "$first" -lt "$last" ]; do
      end="$first"
      while [ "$end" -le "$last" ] && [ $((times[end] - times[first])) -lt 500000 ]; do end=$((end + 1)); done
      [ "$end" -le "$last" ] || break
      span=$((times[end] - times[first]))
      if [ $(((cpus[end] - cpus[first]) / 1000)) -lt $((span * 3 / 10)) ]; then
        echo $((times[first] - start))
        return 0
      fi
      first=$((first + 1))
    done
    [ $(($(now) - start)) -lt 300000000 ] || return 1
    sleep 0.05
  done
}
# The whole process, its workers too (in clock ticks of 10 ms): pictures decode off the main thread.
cpu_all() { awk '{ printf "%.0f\n", ($14 + $15) * 10000000 }' "/proc/$pid/stat"; }
idle="$(first_quiet cpu)" || { echo "never idle"; exit 1; }
printf 'launch_to_idle_s=%d.%06d\n' $((idle / 1000000)) $((idle % 1000000))
# The main thread's time so far, in its own work and in the kernel's (in clock ticks of 10 ms): on
# a virtual machine the kernel's share, first touches of fresh memory, varies with the host.
awk '{ printf "main_thread_user_s=%.2f\nmain_thread_system_s=%.2f\n", $14 / 100, $15 / 100 }' \
  "/proc/$pid/task/$pid/stat"
quiet="$(first_quiet cpu_all)" || { echo "never quiet"; exit 1; }
printf 'launch_to_process_quiet_s=%d.%06d\n' $((quiet / 1000000)) $((quiet % 1000000))

# The live camera on the preview: the title bar's eye.
xdotool mousemove 545 169 click 1
sleep 2
a="$(cpu)" t="$(now)"
sleep 5
rest=$((($(cpu) - a) * 10 / ($(now) - t))) # hundredths of a per cent of a core
printf 'rest_main_thread_pct=%d.%02d\n' $((rest / 100)) $((rest % 100))

# NAME=milliseconds from microseconds, a negative figure (a click costing less than rest) with its sign.
millis() {
    local us=$2 sign=
    if ((us < 0)); then sign=- us=$((-us)); fi
    printf '%s=%s%d.%03d\n' "$1" "$sign" $((us / 1000)) $((us % 1000))
}

# The script pane's tab, at the right end of the title bar.
a="$(cpu)" t="$(now)"
xdotool mousemove 1535 169 click 1
sleep 1
spent=$((($(cpu) - a) / 1000 - rest * ($(now) - t) / 10000)) # microseconds beyond rest
millis tab_click_main_ms "$spent"

# A slide far from the one shown (an opened deck shows its last): the leftmost whole tile in the
# strip, past the sticky slide's. No wheel reaches the other end of a long deck from here.
sleep 1
a="$(cpu)" t="$(now)"
xdotool mousemove 525 830 click 1
sleep 1
spent=$((($(cpu) - a) / 1000 - rest * ($(now) - t) / 10000))
millis far_slide_click_main_ms "$spent"
[ -z "${QRN_SCREENSHOT:-}" ] || import -window root "$QRN_SCREENSHOT"
awk '/VmHWM/ { printf "peak_MB=%.1f\n", $2 / 1024 }' "/proc/$pid/status"

# Scrolling the strip: QRN_SCROLL_STEPS wheel notches (default 200) towards its start, one every
# QRN_SCROLL_DELAY_MS (default 10: a hundred a second), with the pointer over the tiles. The
# main thread's time per notch beyond rest, counted until it rests again; the strip keeps up when
# it is done soon after the last notch (scroll_settle_ms) rather than working through a queue.
steps="${QRN_SCROLL_STEPS:-200}" delay="${QRN_SCROLL_DELAY_MS:-10}"
xdotool mousemove 700 830
sleep 1
a="$(cpu)" t="$(now)"
xdotool click --repeat "$steps" --delay "$delay" 4
sent="$(now)"
sent_cpu="$(cpu)"
# At rest once a tenth of a second passes with the main thread under 30 % of a core.
while :; do
  b="$(cpu)" u="$(now)"
  sleep 0.1
  c="$(cpu)" e="$(now)"
  [ $(((c - b) / 1000)) -ge $(((e - u) * 3 / 10)) ] || break
done
spent=$(((c - a) / 1000 - rest * (e - t) / 10000))
per=$((spent * 1000 / steps)) # nanoseconds
printf 'scroll_main_ms_per_step=%d.%03d\n' $((per / 1000000)) $((per % 1000000 / 1000))
busy=$(((sent_cpu - a) * 10 / (sent - t))) # hundredths of a per cent, while the notches came
printf 'scroll_main_busy_pct=%d.%02d\n' $((busy / 100)) $((busy % 100))
printf 'scroll_steps_per_s=%d\n' $((steps * 1000000 / (sent - t)))
millis scroll_settle_ms $((u - sent))
[ -z "${QRN_SCROLL_SCREENSHOT:-}" ] || import -window root "$QRN_SCROLL_SCREENSHOT"
awk '/VmHWM/ { printf "peak_after_scroll_MB=%.1f\n", $2 / 1024 }' "/proc/$pid/status"
