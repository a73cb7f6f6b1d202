#!/usr/bin/env bash
# The hardening stage of the CI, after the test stage: the exhaustive damage
# of the example models and ../shared/samples/molecule.cob (when present)
# through every mode under AddressSanitizer and UBSan, then a short libFuzzer
# run (FACETOR_FUZZ_SECONDS, default 60; skipped with a notice when clang and
# its fuzzer runtime cannot be had). Environment: FACETOR_FUZZ_BUILD (clang
# build), FACETOR_SANITIZE_BUILD (g++ sanitizer build, default build-sanitize).
set -uo pipefail
shopt -s nullglob
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
started=$(date +%s)

libfuzzer_works() {
  local probe cxx status
  probe=$(mktemp -d)
  printf '#include <cstdint>\n#include <cstddef>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' > "$probe/p.cpp"
  cxx=$(command -v clang++ || command -v clang++-14 || true)
  [ -n "$cxx" ] && "$cxx" -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2> /dev/null && "$probe/p" -runs=1 > /dev/null 2>&1
  status=$?
  rm -rf "$probe"
  return $status
}
if ! libfuzzer_works; then
  echo "hardening: installing clang and its sanitizer and fuzzer runtimes"
  (apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev) \
    > /tmp/facetor-clang-install.log 2>&1 || echo "hardening: clang could not be installed"
fi

# damage_check from the test stage's g++ sanitizer build, or one made here.
sanitize=${FACETOR_SANITIZE_BUILD:-$root/build-sanitize}
if [ ! -f "$sanitize/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$sanitize" -DFACETOR_SANITIZE=ON -DFACETOR_BENCH=OFF > /tmp/facetor-sanitize-configure.log 2>&1 \
    || { cat /tmp/facetor-sanitize-configure.log; exit 1; }
fi
cmake --build "$sanitize" -j2 --target damage_check > "$sanitize/damage-build.log" 2>&1 \
  || { tail -40 "$sanitize/damage-build.log"; exit 1; }
models=("$root"/examples/*.cob "$root"/../shared/samples/molecule.cob)
status=0
# A smaller quarantine and shorter stacks than AddressSanitizer's defaults: the same checks in less time.
ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=8} \
  "$sanitize/tests/fuzz/damage_check" --jobs 2 --findings "$sanitize" "${models[@]}" || status=1

if libfuzzer_works; then
  FACETOR_FUZZ_BUILD=${FACETOR_FUZZ_BUILD:-$root/build-ci-hardening} "$here/run.sh" "${FACETOR_FUZZ_SECONDS:-60}" || status=1
else
  echo "hardening: no working libFuzzer (clang with libclang-rt-14-dev); fuzzing skipped"
fi
echo "hardening: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - started )) s"
exit $status
