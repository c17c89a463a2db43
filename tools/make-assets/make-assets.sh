#!/bin/bash
# Builds the generator in a scratch folder and writes every picture and sound
# into assets/ (or into the folder given as the first argument), and the
# desktop menu's icons into packaging/icons/ (or the second argument).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="${1:-$root/assets}"
icons="${2:-$root/packaging/icons}"
build="${MAKE_ASSETS_BUILD:-$root/build/make-assets}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
mkdir -p "$out"
# No display is needed: pictures are painted into images, fonts come from fontconfig.
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" "$build/make-assets" "$out"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" "$build/make-assets" --icons "$icons"
