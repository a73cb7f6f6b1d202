#!/usr/bin/env bash
# Configures and builds the clang build of the hardening tools: the libFuzzer
# targets and damage_check, all with AddressSanitizer and UBSan.
#
#   tests/fuzz/build.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:?usage: build.sh BUILD_DIR}
cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "build.sh: clang++ not found" >&2
  exit 1
fi
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFACETOR_SANITIZE=ON -DFACETOR_FUZZ=ON -DFACETOR_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target fuzz_rwx fuzz_anim fuzz_dump fuzz_headers fuzz_images \
  fuzz_two_conversions make_fuzz_seeds damage_check > "$build/build.log" 2>&1 \
  || { tail -40 "$build/build.log"; exit 1; }
