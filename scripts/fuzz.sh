#!/usr/bin/env bash
# Fuzzes the output line step (line cutter, output filter, progress parse) for SECONDS.
# The run starts from a scratch copy of the seed corpus plus every kept regression; an input
# that crashes stays under fuzz/regressions/ and the script fails.
#   scripts/fuzz.sh [SECONDS]        (VTF_FUZZ_TREE picks another build tree)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
tree="${VTF_FUZZ_TREE:-build/fuzz}"

cmake --preset fuzz -B "$tree" >/dev/null
cmake --build "$tree" --target output_fuzzer
fuzzer="$tree/fuzz/output_fuzzer"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp fuzz/corpus/* "$scratch/"
mkdir -p fuzz/regressions

# New inputs go to the scratch copy (the first folder); crashes to fuzz/regressions/.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
  -artifact_prefix=fuzz/regressions/ "$scratch" fuzz/regressions
