# Sourced by the scripts that drive the built qrn on a display. Given $package and $cores, it
# starts a virtual display with a window manager on those cores, copies the package to
# $work/deck.qrn3ks (so its window is titled "deck"), and sets `run`: the command words that
# start a program on that display and those cores, in a home, temporary and runtime folder of
# its own, with the test camera and microphone, as an ordinary user when started as root. Each
# command of `run` execs the next, so the process started is the program itself. Everything
# started and recorded in $pids ends, and $work goes, when the script exits; QRN_KEEP_LOG names a
# file to keep $work/qrn.log in.
for tool in Xvfb openbox xdotool taskset; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "${QRN_KEEP_LOG:-}" ]; then cp "$work/qrn.log" "$QRN_KEEP_LOG" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/tmp" "$work/run"
chmod 700 "$work/run"
cp -r "$package" "$work/deck.qrn3ks"
as_user=()
if [ "$(id -u)" = 0 ]; then
  chown -R nobody:nogroup "$work"
  chmod 755 "$work"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

exec {fd}<> <(:)
setsid taskset -c "$cores" Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 -u "$fd" number || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$number"
run=(env -i PATH="$PATH" HOME="$work/home" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/run" DISPLAY="$DISPLAY"
  QRN_TEST_DEVICES=1 ${as_user[@]+"${as_user[@]}"} taskset -c "$cores")
setsid "${run[@]}" openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

now() { echo "${EPOCHREALTIME/./}"; } # microseconds
