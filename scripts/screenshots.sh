#!/usr/bin/env bash
# scripts/screenshots.sh OUTDIR [CASE...]: renders the engine's windows
# offscreen to OUTDIR/CASE.png, every case when none is named. The cases
# live in apps/screens/screen_cases.cc; `brimwell-screens --list` names
# them. Uses the build in ./build unless BRIMWELL_BIN_DIR names another.
set -euo pipefail

if [[ $# -lt 1 || "$1" == "--help" || "$1" == "-h" ]]; then
  sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
  [[ $# -lt 1 ]] && exit 2 || exit 0
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${BRIMWELL_BIN_DIR:-$root/build/bin}"
if [[ ! -x "$bin/brimwell-screens" ]]; then
  echo "screenshots.sh: $bin/brimwell-screens is missing; build first (cmake --build build)" >&2
  exit 1
fi
out="$1"
shift
# A 1024 x 768 screen at 96 dots per inch, the size setups were designed for.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen:configfile=$root/scripts/offscreen-screen.json}"
exec "$bin/brimwell-screens" "$out" "$@"
