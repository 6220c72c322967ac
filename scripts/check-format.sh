#!/usr/bin/env bash
# Checks that every C++ file of src/, tests/ and tools/ keeps .clang-format:
# names each file clang-format would change, one a line, with the command
# that mends it, and ends with "format: N passed, N failed, 0 skipped".
# Exits 1 when a file is off. On a fresh Debian 12 machine, run as root: it
# installs clang-format first.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"

# shellcheck source=lib/packages.sh
source "$repo_root/scripts/lib/packages.sh"
install_packages_for format

# The files git knows or would add (that are there), or every such file
# outside a git checkout.
patterns=()
for folder in src tests tools; do
    patterns+=("$folder/*.cpp" "$folder/*.h" "$folder/*.c")
done
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=()
    while read -r file; do
        [[ -f "$file" ]] && files+=("$file")
    done < <(git ls-files --cached --others --exclude-standard -- "${patterns[@]}" | sort -u)
else
    mapfile -t files < <(find src tests tools -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) |
        sort)
fi

# One clang-format run over all of them; it names each place it would
# change as "<file>:<line>:<column>: error: ...".
status=0
report="$(clang-format --dry-run --Werror "${files[@]}" 2>&1)" || status=$?
mapfile -t off < <(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' <<<"$report" | sort -u)
for file in "${off[@]}"; do
    echo "format: $file is not formatted: clang-format -i $file"
done
passed=$((${#files[@]} - ${#off[@]})) failed=${#off[@]}
if ((status != 0 && failed == 0)); then
    # clang-format failed without naming a file: it could not run.
    echo "$report" >&2
    passed=0 failed=1
fi
echo "format: $passed passed, $failed failed, 0 skipped"
((status == 0 && passed > 0))
