#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer, UBSan) and runs
# each for SECONDS seconds.
#
#   tests/fuzz/run.sh SECONDS [TARGET...]     targets: rwx anim dump headers images two_conversions
#
# Environment:
#   FACETOR_FUZZ_BUILD  build folder            (default: build-libfuzzer in the project)
#   FACETOR_FUZZ_WORK   corpora, findings, logs (default: fuzz-work in the build folder)
#   FACETOR_FUZZ_JOBS   targets run at once     (default: 1)
#
# Each target keeps its growing corpus in WORK/corpus/TARGET and starts from
# the project's seed models, the example models (examples/*.cob),
# ../shared/samples/*.cob when present, and the regression corpus
# tests/fuzz/corpus. Any finding (crash, sanitizer report,
# unsound output, leak, timeout of 5 s, more than 512 MB) fails the run; the
# input is kept as WORK/findings/TARGET-*, ready to be minimised with
#   BUILD/tests/fuzz/fuzz_TARGET -minimize_crash=1 -runs=10000 FILE
# and added to tests/fuzz/corpus under a name that says what it exercises.
set -uo pipefail

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${FACETOR_FUZZ_BUILD:-$root/build-libfuzzer}
work=${FACETOR_FUZZ_WORK:-$build/fuzz-work}
jobs=${FACETOR_FUZZ_JOBS:-1}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rwx anim dump headers images two_conversions)

"$here/build.sh" "$build" || exit 1

mkdir -p "$work/seeds" "$work/findings" "$work/logs"
"$build/tests/fuzz/make_fuzz_seeds" "$work/seeds" || exit 1
samples="$root/../shared/samples"
seed_dirs=("$work/seeds" "$here/corpus")
if compgen -G "$root/examples/*.cob" > /dev/null; then
  mkdir -p "$work/examples"
  cp -f "$root"/examples/*.cob "$work/examples/"
  seed_dirs+=("$work/examples")
fi
if compgen -G "$samples/*.cob" > /dev/null; then
  mkdir -p "$work/samples"
  cp -f "$samples"/*.cob "$work/samples/"
  seed_dirs+=("$work/samples")
fi

# AddressSanitizer keeps freed memory in a quarantine (256 MB by default)
# that counts against -rss_limit_mb; a smaller one still catches use after
# free, and leaves the limit to what the converter itself allocates.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}

run_target() {
  local target=$1
  local corpus="$work/corpus/$target"
  mkdir -p "$corpus"
  local seeds=("${seed_dirs[@]}")
  [ "$target" = two_conversions ] && seeds+=("$work/seeds/pairs")
  "$build/tests/fuzz/fuzz_$target" "$corpus" "${seeds[@]}" \
    -dict="$here/cob.dict" -max_total_time="$seconds" -rss_limit_mb=512 -timeout=5 \
    -max_len=1048576 -print_final_stats=1 -artifact_prefix="$work/findings/$target-" \
    > "$work/logs/$target.log" 2>&1
  local status=$?
  local summary
  summary=$(grep -E '^#[0-9]+' "$work/logs/$target.log" | tail -1)
  local runs
  runs=$(grep -E 'stat::number_of_executed_units' "$work/logs/$target.log" | awk '{print $2}')
  if [ $status -eq 0 ]; then
    echo "fuzz_$target: ok, ${runs:-?} runs in ${seconds} s; $summary"
  else
    echo "fuzz_$target: FINDING (exit $status); log $work/logs/$target.log"
    grep -E 'ERROR|SUMMARY|UNSOUND|Test unit written' "$work/logs/$target.log" | head -8
  fi
  return $status
}

failed=0
running=0
declare -A pids
for target in "${targets[@]}"; do
  if [ ! -x "$build/tests/fuzz/fuzz_$target" ]; then
    echo "unknown fuzz target: $target" >&2
    failed=1
    continue
  fi
  run_target "$target" &
  pids[$target]=$!
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ $running -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
if [ $failed -ne 0 ]; then
  echo "fuzzing: FINDINGS (see $work/findings)"
  exit 1
fi
echo "fuzzing: no findings"
