#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS over a scratch copy of its seed
# corpus (the repository's corpus never grows) and prints per target the
# executions and the coverage. Runs every target; fails when any of them
# crashed or broke a property.
# Usage: fuzz/run.sh <build folder> <target>...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
shift
seconds="${FUZZ_SECONDS:-60}"
work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work/artifacts"
# The targets write small files on every run: on a disk that discards freed
# blocks that costs milliseconds, in memory microseconds. Leftovers of a
# crashed target go with the folder.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch="$(mktemp -d -p /dev/shm pmx-fuzz.XXXXXX)"
else
  scratch="$(mktemp -d -p "$work" tmp.XXXXXX)"
fi
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
# cpprestsdk's own containers trip ASan's container-overflow check.
export ASAN_OPTIONS="detect_container_overflow=0:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

summary=()
status=0
for target in "$@"; do
  binary="$build/fuzz/fuzz_$target"
  corpus="$work/corpus/$target"
  mkdir -p "$corpus"
  cp "$here/corpus/$target/"* "$corpus/"
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$work/artifacts/$target-")
  if [ -f "$here/dict/$target.dict" ]; then
    options+=(-dict="$here/dict/$target.dict")
  fi
  log="$work/$target.log"
  echo "== fuzz_$target for ${seconds}s"
  if "$binary" "${options[@]}" "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 60 "$log"
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1 || echo '?')
  coverage=$(grep -E '^#[0-9]+' "$log" | grep -o 'cov: [0-9]* ft: [0-9]*' | tail -n 1 || true)
  summary+=("$(printf '%-16s %-6s runs %-10s %s' "$target" "$result" "$runs" "$coverage")")
done
printf '%s\n' "== fuzz summary (log and artifacts in $work)" "${summary[@]}"
exit "$status"
