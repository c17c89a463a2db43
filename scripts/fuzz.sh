#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz over its seed corpus, then for SECONDS
# more (default 10) with its dictionary. New inputs go to a temporary folder,
# never into the committed corpus. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
for target in build/fuzz/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  # The area folder that holds the target's source holds its corpus and dictionary.
  area=$(grep -lw "$name" fuzz/*.cmake | head -1 | xargs -r basename | sed 's/\.cmake$//' || true)
  seeds=() dict=()
  [ -n "$area" ] && [ -d "fuzz/$area/corpus" ] && seeds=("fuzz/$area/corpus")
  if [ -n "$area" ]; then for d in fuzz/"$area"/*.dict; do [ -f "$d" ] && dict=("-dict=$d"); done; fi
  # fuzz/AREA/TARGET.options: more libFuzzer flags for that target (one line).
  extra=()
  if [ -n "$area" ] && [ -f "fuzz/$area/$name.options" ]; then read -r -a extra < "fuzz/$area/$name.options"; fi
  mkdir -p "$work/$name"
  echo "== $name (seeds: ${seeds[*]:-none}), ${seconds} s"
  if [ ${#seeds[@]} -gt 0 ]; then "$target" -runs=0 "${seeds[@]}" 2>&1 | tail -n 2; fi
  "$target" "${dict[@]}" "${extra[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work/$name" "${seeds[@]}" \
    > "$work/$name.log" 2>&1 || { tail -n 40 "$work/$name.log"; exit 1; }
  grep -E '^(stat::number_of_executed_units|#[0-9]+ *DONE)' "$work/$name.log" | tail -n 2
done
[ "$found" = 1 ] || { echo "no fuzz targets in build/fuzz" >&2; exit 1; }
