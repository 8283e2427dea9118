#!/usr/bin/env bash
# scripts/bench against a stand-in build: it must run the benchmark programs and nothing else
# in the bench folder (CMake leaves bench_*_autogen folders there), and pass their status on.
set -euo pipefail
source_root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/scripts" "$work/build/bench/bench_fake_autogen" "$work/build/bench/bench_fake.dir"
cp "$source_root/scripts/bench" "$work/scripts/bench"
printf '#!/usr/bin/env bash\nexit 0\n' >"$work/scripts/setup"
printf '#!/usr/bin/env bash\necho "%s/build"\n' "$work" >"$work/scripts/build"
printf '#!/usr/bin/env bash\necho ran >>"%s/ran"\n' "$work" >"$work/build/bench/bench_fake"
printf 'not a program\n' >"$work/build/bench/bench_notes.txt"
chmod +x "$work/scripts/"* "$work/build/bench/bench_fake"

if ! "$work/scripts/bench" >"$work/out" 2>&1; then
  echo "scripts/bench failed:"; cat "$work/out"; exit 1
fi
[ "$(cat "$work/ran" 2>/dev/null)" = "ran" ] || { echo "the benchmark program did not run once"; cat "$work/out"; exit 1; }

# Asked for three runs, it runs the program three times.
rm -f "$work/ran"
if ! QRN_BENCH_RUNS=3 "$work/scripts/bench" >"$work/out" 2>&1; then
  echo "scripts/bench failed with three runs:"; cat "$work/out"; exit 1
fi
[ "$(wc -l <"$work/ran")" -eq 3 ] || { echo "three runs did not run the program three times"; cat "$work/out"; exit 1; }

# A failing benchmark still fails the run.
printf '#!/usr/bin/env bash\nexit 3\n' >"$work/build/bench/bench_fake"
if "$work/scripts/bench" >"$work/out" 2>&1; then
  echo "a failing benchmark was reported as success"; exit 1
fi
echo ok
