#!/usr/bin/env bash
# Checks every C and C++ source of the tree against .clang-format and fails,
# naming the file and line, on the first mis-formatted line. clang-format -i
# FILE puts a file right.
set -euo pipefail
cd "$(dirname "$0")/.."
# The files git tracks, so that what npm or a build puts in the tree is not read.
mapfile -d '' files < <(git ls-files -z -- \
    'common/*.h' 'src/*.cpp' 'src/*.h' 'sound/*.cpp' 'sound/*.h' 'tools/*.cpp' 'tools/*.h' \
    'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files as .clang-format says"
