#!/usr/bin/env bash
# Records one of bench_autocue's takes in the application (ROW: studio_picture, the default, or
# studio_picture_loaded) with the kernel's scheduler events and a 97 Hz clock sample of each
# measured core, cheaply enough to record every take, and explains each move of the autocue that
# came over 50 ms late: from the autocue's wakeup to its run, which threads held its core, how
# long its core stood idle with it runnable, and the longest stretch each measured core took no
# sample of its own clock. A core whose own timer did not fire for more than two periods was not
# running at all (a virtual machine's core its host held), which no thread of the machine caused.
# The take's process is started as an ordinary user; the recorders (perf, as root: they watch
# whole cores) run on READER_CORE, the analysis after the take. Keeps the recording in DIR.
# Usage: late_moves.sh BENCH_AUTOCUE DIR [ROW] [CORES (default 6,7)] [READER_CORE (default 5)]
#        late_moves.sh --explain DIR    (explains a recording made before)
set -euo pipefail

explain() {
  local dir="$1"
  perf script -i "$dir/sched.data" -F comm,tid,cpu,time,event,trace >"$dir/sched.txt" 2>/dev/null || true
  perf script -i "$dir/samples.data" -F cpu,time >"$dir/samples.txt" 2>/dev/null || true
  python3 - "$dir" <<'PY'
import bisect, collections, re, sys
d = sys.argv[1]
late = [(float(m.group(4)), float(m.group(1)) / 1000, float(m.group(2)), float(m.group(3)))
        for m in re.finditer(r'over 50 ms: ([\d.]+) ms.*?ran ([\d.]+) ms and waited ([\d.]+) ms.*?monotonic ([\d.]+) s',
                             open(d + '/err.txt').read())]
rx = re.compile(r'^\s*(.+?)\s+(\d+)\s+\[(\d+)\]\s+([\d.]+):\s+sched:(\S+):\s+(.*)$')
events, names = [], {0: 'idle'}
for line in open(d + '/sched.txt'):
    m = rx.match(line)
    if not m:
        continue
    t, cpu, tid, kind, rest = float(m.group(4)), int(m.group(3)), int(m.group(2)), m.group(5), m.group(6)
    names.setdefault(tid, m.group(1))
    if kind == 'sched_switch':
        n = re.search(r'prev_pid=(\d+) .*prev_state=(\S+) ==> next_comm=(.+?) next_pid=(\d+)', rest)
        names[int(n.group(4))] = n.group(3) if n.group(4) != '0' else 'idle'
        events.append((t, cpu, 'switch', int(n.group(1)), int(n.group(4)), tid))
    elif kind == 'sched_wakeup':
        n = re.search(r' pid=(\d+) .*target_cpu=(\d+)', rest)
        events.append((t, int(n.group(2)), 'wakeup', int(n.group(1)), 0, tid))
# The take's main thread: the one its display connection's reader wakes.
woken = collections.Counter(e[3] for e in events if e[2] == 'wakeup' and names.get(e[5]) == 'QXcbEventQueue')
if not woken:
    sys.exit(print('no take found in the recording'))
main = woken.most_common(1)[0][0]
samples = collections.defaultdict(list)
for line in open(d + '/samples.txt'):
    m = re.search(r'\[(\d+)\]\s+([\d.]+)', line)
    if m:
        samples[int(m.group(1))].append(float(m.group(2)))
unsampled = {c: sum(b - a > 0.025 for a, b in zip(v, v[1:])) for c, v in sorted(samples.items())}
print(f'{d}: {len(late)} moves over 50 ms; stretches over 25 ms without a clock sample, whole take: ' +
      ', '.join(f'core {c} {n}' for c, n in unsampled.items()))
times = [e[0] for e in events]
for start, length, ran, waited in late:
    end = start + length
    print(f'late move {length * 1000:.1f} ms at {start:.3f} (main thread ran {ran:.1f} ms, waited {waited:.1f} ms for a core)')
    current, held, queued, state = {}, collections.Counter(), None, 'asleep'
    for t, cpu, kind, a, b, by in events[bisect.bisect_left(times, start - 1):bisect.bisect_right(times, end)]:
        if kind == 'switch':
            if t >= start and cpu in current and queued is not None and cpu == queued[1]:
                held[(cpu, current[cpu][1])] += t - max(current[cpu][0], queued[0])
            current[cpu] = (t, b)
            if b == main and queued is not None and t >= start:
                print(f'  +{(queued[0] - start) * 1000:5.1f} ms woken by {names.get(queued[2], "?")}:{queued[2]}, '
                      f'ran {(t - queued[0]) * 1000:.1f} ms later on core {cpu}' +
                      ''.join(f'; core {c} {names.get(w, "?")}:{w} {s * 1000:.1f} ms'
                              for (c, w), s in held.most_common(4) if s > 0.0005))
            if b == main:
                queued, held = None, collections.Counter()
        elif a == main:
            queued, held = (t, cpu, by), collections.Counter()
            current.setdefault(cpu, (t, 0))
    if queued is not None:
        print(f'  +{(queued[0] - start) * 1000:5.1f} ms woken by {names.get(queued[2], "?")}:{queued[2]}, not run by the end')
    for c, v in sorted(samples.items()):
        i, longest = bisect.bisect_left(v, start - 0.03), (0, 0)
        while i + 1 < len(v) and v[i] < end + 0.03:
            longest = max(longest, (v[i + 1] - v[i], v[i] - start))
            i += 1
        print(f'  core {c}: longest without a clock sample {longest[0] * 1000:.0f} ms, from {longest[1] * 1000:+.0f} ms')
PY
}

if [ "${1:-}" = "--explain" ]; then
  explain "$2"
  exit 0
fi
bench="$(realpath "$1")"
dir="$2"
row="${3:-studio_picture}"
cores="${4:-6,7}"
reader_core="${5:-5}"
for tool in perf python3 taskset setpriv; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
mkdir -p "$dir"
dir="$(realpath "$dir")"
chmod 777 "$dir"
as_user=()
[ "$(id -u)" = 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
recorders=()
stop_recorders() {
  for p in "${recorders[@]}"; do kill -INT "$p" 2>/dev/null || true; done
  for p in "${recorders[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap stop_recorders EXIT
taskset -c "$reader_core" perf record -q -k mono -e sched:sched_switch -e sched:sched_wakeup -C "$cores" \
  -o "$dir/sched.data" >/dev/null 2>&1 &
recorders+=($!)
taskset -c "$reader_core" perf record -q -k mono -e cpu-clock -F 97 -C "$cores" -o "$dir/samples.data" \
  >/dev/null 2>&1 &
recorders+=($!)
sleep 1
QRN_BENCH_AUTOCUE_SECONDS="${QRN_BENCH_AUTOCUE_SECONDS:-60}" HOME="$dir" TMPDIR="$dir" \
  taskset -c "$cores" ${as_user[@]+"${as_user[@]}"} "$bench" --benchmark_filter="takeInTheApp/$row/" \
  >"$dir/out.txt" 2>"$dir/err.txt" || { echo "the take failed: $dir/err.txt"; exit 1; }
stop_recorders
trap - EXIT
grep -o 'intervals_over_50_ms=[0-9.]*\|interval_max_ms=[0-9.]*' "$dir/out.txt" | tr '\n' ' '
echo
# The analysis runs off the measured cores.
taskset -c 0-"$((reader_core > 0 ? reader_core - 1 : 0))" bash "$0" --explain "$dir"
