#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite (which includes
# the regression corpus and the damage of the seed models), per subsystem.
#
#   tests/fuzz/coverage.sh [BUILD_DIR] [--report]   (default: build-coverage)
#
# --report only reads the counts of an earlier run.
#
# Builds with -DFACETOR_COVERAGE=ON (gcov, -O0), runs ctest, then reads the
# counts with gcov's JSON output. A line or branch counts as covered when any
# translation unit covered it. Branches that only exist for exception
# handling (gcov's "throw" branches) are left out, as they are by the usual
# coverage tools' exclude-throw option.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-coverage}
ctest_status=0
if [ "${2:-}" != --report ]; then
  mkdir -p "$build"
  cmake -S "$root" -B "$build" -DFACETOR_COVERAGE=ON -DFACETOR_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
    > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
  cmake --build "$build" -j"${FACETOR_JOBS:-2}" > "$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }
  find "$build" -name '*.gcda' -delete
  (cd "$build" && ctest --output-on-failure -j"${FACETOR_JOBS:-2}" > "$build/ctest.log" 2>&1)
  ctest_status=$?
fi
tail -3 "$build/ctest.log"

python3 - "$root" "$build" <<'PY'
import json, os, subprocess, sys
from collections import defaultdict

root, build = sys.argv[1], sys.argv[2]
src = os.path.join(root, "src") + os.sep
lines = defaultdict(dict)      # file -> line -> covered
branches = defaultdict(dict)   # file -> (line, index) -> covered
for folder, _, files in os.walk(build):
    for name in files:
        if not name.endswith(".gcda"):
            continue
        out = subprocess.run(["gcov", "--json-format", "--stdout", "--branch-probabilities", name], cwd=folder,
                             capture_output=True, text=True)
        for chunk in out.stdout.splitlines():
            if not chunk.strip():
                continue
            for f in json.loads(chunk).get("files", []):
                path = os.path.normpath(os.path.join(folder, f["file"]))
                if not path.startswith(src):
                    continue
                for line in f["lines"]:
                    n = line["line_number"]
                    lines[path][n] = lines[path].get(n, False) or line["count"] > 0
                    for i, b in enumerate(line.get("branches", [])):
                        if b.get("throw"):
                            continue
                        key = (n, i)
                        branches[path][key] = branches[path].get(key, False) or b["count"] > 0

def subsystem(path):
    return path[len(src):].split(os.sep)[0]

totals = defaultdict(lambda: [0, 0, 0, 0])
for path in set(lines) | set(branches):
    t = totals[subsystem(path)]
    t[0] += sum(lines[path].values()); t[1] += len(lines[path])
    t[2] += sum(branches[path].values()); t[3] += len(branches[path])

def pct(a, b):
    return f"{100.0 * a / b:6.1f}%" if b else "     -"

print(f"{'subsystem':<10} {'lines':>16} {'':>7} {'branches':>16} {'':>7}")
grand = [0, 0, 0, 0]
for name in sorted(totals):
    t = totals[name]
    grand = [g + v for g, v in zip(grand, t)]
    print(f"{name:<10} {t[0]:>7} of {t[1]:<6} {pct(t[0], t[1])} {t[2]:>7} of {t[3]:<6} {pct(t[2], t[3])}")
print(f"{'src/':<10} {grand[0]:>7} of {grand[1]:<6} {pct(grand[0], grand[1])} {grand[2]:>7} of {grand[3]:<6} {pct(grand[2], grand[3])}")
PY
exit $ctest_status
