#!/usr/bin/env bash
# coverage.sh BUILD FOLDER...: the share of the lines of each src/FOLDER that a FACETOR_COVERAGE=ON build ran
# since its counts were cleared (coverage.sh --clear BUILD). Run the inputs between the two, in every mode:
#   tests/tools/compare_builds.sh --digest /dev/null --update BUILD INPUT...
set -euo pipefail
if [[ $1 == --clear ]]; then find "$2" -name '*.gcda' -delete && exit; fi
build=$(realpath "$1") src=$(cd "$(dirname "$0")/../../src" && pwd)
shift
cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT
# gcov's text form: "count:line:source" per line, "-" where nothing runs, "#####" or "=====" where nothing ran;
# a line counts as run when any object ran it.
find "$build" -name '*.gcda' -exec gcov -t {} + 2>/dev/null | awk -F: -v src="$src/" -v folders="$*" '
  $3 == "Source" { file = $4; next }
  index(file, src) != 1 { next }
  { count = $1; gsub(/ /, "", count) }
  count == "-" || $2 + 0 == 0 { next }
  { key = file ":" ($2 + 0); run[key] = run[key] || count !~ /^(#####|=====)$/ }
  END {
    for (key in run) { folder = substr(key, length(src) + 1); sub(/\/.*/, "", folder); lines[folder]++; ran[folder] += run[key] }
    n = split(folders, list, " ")
    for (i = 1; i <= n; i++) printf "src/%s: %d of %d lines, %.1f%%\n", list[i], ran[list[i]], lines[list[i]], lines[list[i]] ? 100 * ran[list[i]] / lines[list[i]] : 0
  }'
