#!/usr/bin/env bash
# Builds the libFuzzer target with clang (AddressSanitizer, UBSan) and fuzzes
# for SECONDS seconds:  tests/fuzz/run.sh SECONDS
# Environment: FACETOR_FUZZ_BUILD (default build-libfuzzer), FACETOR_FUZZ_WORK
# (corpus, findings, logs; default BUILD/fuzz-work).
# The input's first byte picks the mode (R A D H I 2, modulo 6); the seeds are
# the seed models, examples/*.cob, ../shared/samples/*.cob and the regression
# corpus tests/fuzz/corpus, once per mode. A finding (crash, sanitizer report,
# unsound output, leak, 5 s timeout, over 512 MB) fails the run and is kept as
# WORK/findings/*: minimise it with BUILD/tests/fuzz/fuzz_facetor
# -minimize_crash=1 -runs=10000 FILE, drop its mode byte and add it to
# tests/fuzz/corpus under a name that says what it exercises.
set -uo pipefail
shopt -s nullglob
[[ ${1:-} =~ ^[0-9]+$ ]] || { echo "usage: $0 SECONDS" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${FACETOR_FUZZ_BUILD:-$root/build-libfuzzer}
work=${FACETOR_FUZZ_WORK:-$build/fuzz-work}
cxx=$(command -v clang++ || command -v clang++-14) || { echo "run.sh: clang++ not found" >&2; exit 1; }
mkdir -p "$build" "$work/corpus" "$work/seeds" "$work/findings"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFACETOR_SANITIZE=ON \
  -DFACETOR_FUZZ=ON -DFACETOR_BENCH=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target fuzz_facetor damage_check > "$build/build.log" 2>&1 \
  || { tail -40 "$build/build.log"; exit 1; }
"$build/tests/fuzz/damage_check" --seeds "$work/seeds" "$root"/examples/*.cob "$root"/../shared/samples/*.cob \
  "$here"/corpus/* || exit 1
# A smaller quarantine than AddressSanitizer's 256 MB still catches use after
# free, and leaves -rss_limit_mb to what the converter itself allocates.
ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64} "$build/tests/fuzz/fuzz_facetor" "$work/corpus" "$work/seeds" \
  -dict="$here/cob.dict" -max_total_time="$1" -rss_limit_mb=512 -timeout=5 -max_len=1048577 -print_final_stats=1 \
  -artifact_prefix="$work/findings/" > "$work/fuzz.log" 2>&1
status=$?
if [ $status -eq 0 ]; then
  echo "fuzz_facetor: no findings in $1 s; $(grep -hE '^#[0-9]+' "$work/fuzz.log" | tail -1)"
else
  echo "fuzz_facetor: FINDINGS (exit $status); see $work/fuzz.log and $work/findings"
  grep -hE 'ERROR|SUMMARY|UNSOUND|Test unit written' "$work/fuzz.log" | head -8
fi
exit $status
