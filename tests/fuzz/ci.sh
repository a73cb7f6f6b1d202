#!/usr/bin/env bash
# The hardening stage of the CI, run after the test stage:
#   1. exhaustive damage (every prefix, every single-byte change) of the
#      example model(s) and of ../shared/samples/molecule.cob when present,
#      through every mode under AddressSanitizer and UBSan;
#   2. a short run of every libFuzzer target (FACETOR_FUZZ_SECONDS, default 60).
# clang and its runtimes are installed when missing; without a working
# libFuzzer the fuzzing step is skipped with a notice.
#
# Environment: FACETOR_FUZZ_SECONDS, FACETOR_FUZZ_BUILD (clang build folder),
# FACETOR_SANITIZE_BUILD (g++ sanitizer build folder, default build-sanitize).
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

# The damage program: from the test stage's g++ sanitizer build when there is
# one (.ci/run builds it as build-sanitize), else from a sanitizer build here.
sanitize_build=${FACETOR_SANITIZE_BUILD:-$root/build-sanitize}
if [ ! -f "$sanitize_build/CMakeCache.txt" ]; then
  mkdir -p "$sanitize_build"
  cmake -S "$root" -B "$sanitize_build" -DFACETOR_SANITIZE=ON -DFACETOR_BENCH=OFF > "$sanitize_build/configure.log" 2>&1 \
    || { cat "$sanitize_build/configure.log"; exit 1; }
fi
cmake --build "$sanitize_build" -j2 --target damage_check > "$sanitize_build/damage-build.log" 2>&1 \
  || { tail -40 "$sanitize_build/damage-build.log"; exit 1; }

status=0
if [ ${#models[@]} -gt 0 ]; then
  echo "hardening: damage of ${models[*]}"
  # A smaller quarantine and shorter allocation stacks than AddressSanitizer's
  # defaults: the same checks (redzones, use after free within the last 16 MB
  # freed, UBSan) in less time.
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=8} \
    "$sanitize_build/tests/fuzz/damage_check" --jobs 2 --findings "$sanitize_build" "${models[@]}" || status=1
else
  echo "hardening: no example model and no molecule.cob; damage stage skipped"
fi

if libfuzzer_works; then
  echo "hardening: fuzzing every target for $seconds s (clang sanitizer build in $build)"
  FACETOR_FUZZ_BUILD="$build" FACETOR_FUZZ_JOBS=2 "$here/run.sh" "$seconds" || status=1
else
  echo "hardening: no working libFuzzer (clang with libclang-rt-14-dev); fuzzing skipped"
fi
echo "hardening: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - started )) s"
exit $status
