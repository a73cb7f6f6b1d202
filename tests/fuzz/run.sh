#!/usr/bin/env bash
# run.sh SECONDS: fuzzes for SECONDS (clang, ASan, UBSan; build FACETOR_FUZZ_BUILD, default build-libfuzzer) from
# the seeds, corpus, examples, samples and 25 generated files of each kind, once per mode byte; findings land in
# BUILD/fuzz-work/findings.
# run.sh, the CI's hardening stage: damage_check of the examples and molecule.cob in FACETOR_SANITIZE_BUILD
# (default build-sanitize), then FACETOR_FUZZ_SECONDS (default 60) of fuzzing, installing clang if need be.
set -uo pipefail
shopt -s nullglob
here=$(cd "$(dirname "$0")" && pwd) root=$(cd "$(dirname "$0")/../.." && pwd) started=$(date +%s) status=0
fuzzer_works() {  # clang++ links and runs a libFuzzer program with the sanitizers
  local probe works; probe=$(mktemp) && echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    clang++ -x c++ - -fsanitize=fuzzer,address,undefined -o "$probe" 2> /dev/null && "$probe" -runs=1 &> /dev/null
  works=$?; rm -f "$probe"; return $works
}
build() {  # BUILD_DIR TARGET CMAKE_OPTION...
  mkdir -p "$1" && { cmake -S "$root" -B "$1" -DFACETOR_SANITIZE=ON -DFACETOR_BENCH=OFF "${@:3}" &&
    cmake --build "$1" -j2 --target "$2"; } > "$1/$2.log" 2>&1 || { tail -40 "$1/$2.log"; return 1; }
}
if [ $# -eq 0 ]; then
  fuzzer_works || (apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang \
    libclang-rt-14-dev) &> /dev/null
  sanitize=${FACETOR_SANITIZE_BUILD:-$root/build-sanitize} sample=("$root"/../shared/samples/molecule.cob)
  [ -f "${sample[0]}" ] || { echo "hardening: ${sample[0]} absent, damaging the examples only"; sample=(); }
  build "$sanitize" damage_check && ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=8} \
    "$sanitize/tests/fuzz/damage_check" --jobs 2 --findings "$sanitize" "$root"/examples/*.cob "${sample[@]}" || status=1
  export FACETOR_FUZZ_BUILD=${FACETOR_FUZZ_BUILD:-$root/build-ci-hardening}
  fuzzer_works && { "$0" "${FACETOR_FUZZ_SECONDS:-60}" || status=1; } || echo "hardening: no libFuzzer; fuzzing skipped"
  echo "hardening: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(($(date +%s) - started)) s"; exit $status
fi
[[ $1 =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }
out=${FACETOR_FUZZ_BUILD:-$root/build-libfuzzer} work=$out/fuzz-work
mkdir -p "$work/corpus" "$work/seeds" "$work/findings" && build "$out" fuzz_facetor -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DFACETOR_FUZZ=ON -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link && build "$out" cobgen || exit 1
# Generated scenes, avatars, dump files and damaged files join the seeds.
for kind in scene avatar diag damaged; do "$out/tests/cobgen" --kind $kind --seeds 1 25 --out "$work/generated" || exit 1; done
for file in "$here"/seeds/* "$here"/corpus/* "$root"/examples/*.cob "$root"/../shared/samples/*.cob "$work"/generated/*; do
  for mode in 0 1 2 3 4 5; do { printf "\\x0$mode"; cat "$file"; } > "$work/seeds/${mode}_${file##*/}"; done
done
# A 64 MB quarantine still catches use after free, and leaves -rss_limit_mb to what the converter allocates.
ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64} "$out/tests/fuzz/fuzz_facetor" "$work/corpus" "$work/seeds" \
  -dict="$here/cob.dict" -max_total_time="$1" -rss_limit_mb=512 -timeout=5 -max_len=1048577 -print_final_stats=1 \
  -artifact_prefix="$work/findings/" > "$work/fuzz.log" 2>&1
status=$?
[ $status -eq 0 ] && echo "fuzz_facetor: no findings in $1 s; $(grep -hE '^#[0-9]+' "$work/fuzz.log" | tail -1)" ||
  { echo "fuzz_facetor: FINDINGS (exit $status), $work"; grep -hE 'ERROR|SUMMARY|UNSOUND|Test unit' "$work/fuzz.log"; }
exit $status
