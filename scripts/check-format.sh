#!/usr/bin/env bash
# Checks every C and C++ source of the tree against .clang-format and fails,
# naming the file and line, on the first mis-formatted line. clang-format -i
# FILE puts a file right.
set -euo pipefail
cd "$(dirname "$0")/.."
files=()
for dir in src sound tools tests bench fuzz; do
    [ -d "$dir" ] || continue
    while IFS= read -r -d '' f; do
        files+=("$f")
    done < <(find "$dir" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.hpp' -o -name '*.cc' \) -print0)
done
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files as .clang-format says"
