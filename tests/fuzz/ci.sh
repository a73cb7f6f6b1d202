#!/usr/bin/env bash
# The hardening stage of the CI, run after the test stage:
#   1. exhaustive damage (every prefix, every single-byte change) of the
#      example model(s) and of ../shared/samples/molecule.cob when present,
#      through every mode under AddressSanitizer and UBSan;
#   2. a short run of every libFuzzer target (FACETOR_FUZZ_SECONDS, default 60).
# clang and its runtimes are installed when missing; without a working
# libFuzzer the damage stage runs on a g++ sanitizer build and fuzzing is
# skipped with a notice.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${FACETOR_FUZZ_SECONDS:-60}
build=${FACETOR_FUZZ_BUILD:-$root/build-ci-hardening}
started=$(date +%s)

libfuzzer_works() {
  local probe
  probe=$(mktemp -d)
  printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' \
    > "$probe/probe.cpp"
  local cxx
  cxx=$(command -v clang++ || command -v clang++-14 || true)
  [ -n "$cxx" ] && "$cxx" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2> /dev/null \
    && "$probe/probe" -runs=1 > /dev/null 2>&1
  local status=$?
  rm -rf "$probe"
  return $status
}

if ! libfuzzer_works; then
  echo "hardening: installing clang and its sanitizer and fuzzer runtimes"
  (apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev) \
    > /tmp/facetor-clang-install.log 2>&1 || echo "hardening: clang could not be installed"
fi

models=()
for model in "$root"/examples/*.cob; do
  [ -f "$model" ] && models+=("$model")
done
[ -f "$root/../shared/samples/molecule.cob" ] && models+=("$root/../shared/samples/molecule.cob")

fuzz=0
if libfuzzer_works; then
  fuzz=1
  echo "hardening: building the clang sanitizer build (libFuzzer targets, damage_check)"
  "$here/build.sh" "$build" || exit 1
else
  echo "hardening: no working libFuzzer; damage only, on a g++ sanitizer build"
  mkdir -p "$build"
  cmake -S "$root" -B "$build" -DFACETOR_SANITIZE=ON -DFACETOR_BENCH=OFF > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
  cmake --build "$build" -j2 --target damage_check > "$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }
fi

status=0
if [ ${#models[@]} -gt 0 ]; then
  echo "hardening: damage of ${models[*]}"
  "$build/tests/fuzz/damage_check" --jobs 2 --findings "$build" "${models[@]}" || status=1
else
  echo "hardening: no example model and no molecule.cob; damage stage skipped"
fi

if [ $fuzz -eq 1 ]; then
  echo "hardening: fuzzing every target for $seconds s"
  FACETOR_FUZZ_BUILD="$build" FACETOR_FUZZ_JOBS=2 "$here/run.sh" "$seconds" || status=1
fi
echo "hardening: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - started )) s"
exit $status
