#!/usr/bin/env bash
# The main job: builds the toolkit, then shows what it can do so far on a
# throwaway prefix. Grows as the toolkit does.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BRIMWELL_BUILD_DIR:-$here/build}
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
work=$(mktemp -d "${TMPDIR:-/tmp}/brimwell-demo.XXXXXX")
export BRIMWELL_PREFIX="$work/prefix"
echo "demo: working in $work"
"$build/bin/brimwell" --help
echo "demo: done"
