#!/usr/bin/env bash
# The main job: builds the toolkit, then the sample product's distributables
# with the one command `brimwell build`, then installs the product from its
# self-extracting setup.exe alone into a throwaway prefix, unattended and
# without a display, lists what was installed and where, and uninstalls it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BRIMWELL_BUILD_DIR:-$here/build}
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
bin=$build/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/brimwell-demo.XXXXXX")
export BRIMWELL_PREFIX="$work/prefix"
export BRIMWELL_UNATTENDED=1 QT_QPA_PLATFORM=offscreen
export BRIMWELL_LOG="$work/run.log"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
sample=$here/samples/tool
say() { printf '\n== %s\n' "$*"; }

say "a fresh Windows machine in $BRIMWELL_PREFIX"
"$bin/brimwell" prefix init

say "the product's distributables in $work/dist, in one command"
# The product as its developer keeps it: the project beside its files (the
# project names them relative to itself), the built program and library
# among them.
product=$work/product
mkdir -p "$product/files"
cp "$sample/project.json" "$product/"
cp "$sample/files/"* "$build/samples/tool/toolinfo.exe" "$build/samples/tool/samplereg.dll" "$product/files/"
# The uninstall program comes from the toolkit's directory, beside the loader.
cp "$bin/uninstall.exe" "$product/files/"
# The developer builds on a machine of their own (its prefix records the
# toolkit's directory); the product then installs on the fresh one above.
BRIMWELL_PREFIX="$work/developer" "$bin/brimwell" prefix init >/dev/null
BRIMWELL_PREFIX="$work/developer" "$bin/brimwell" build "$product/project.json" "$work/dist"
"$bin/brimwell" archive list "$work/dist/files.1" | cut -f1,3,4,7
"$bin/brimwell" archive trailer "$work/dist/setup.exe"

"$bin/brimwell" prefix snapshot "$work/before.json"

say "installing from setup.exe alone: it unpacks the engine and starts it"
mkdir -p "$work/tmp" "$work/download"
cp "$work/dist/setup.exe" "$work/download/"
TMPDIR="$work/tmp" "$work/download/setup.exe"
# The loader does not wait for the engine; the run log says when it ends.
for _ in $(seq 1 300); do
  grep -q $'\tshutdown' "$BRIMWELL_LOG" 2>/dev/null && break
  sleep 0.1
done
grep -q $'\tshutdown' "$BRIMWELL_LOG" || { echo "demo: the engine did not finish"; cat "$BRIMWELL_LOG"; exit 1; }

say "the run log"
cut -f2- "$BRIMWELL_LOG" | grep -v $'^call\t' || true
echo "($(grep -c $'\tcall\t' "$BRIMWELL_LOG") component calls)"

say "the product's registry values, INI file and uninstall record"
"$bin/brimwell" reg export 'HKLM\SOFTWARE\Brimwell Samples' -
cat "$BRIMWELL_PREFIX/drive_c/Program Files/Brimwell Sample Tool/sampletool.ini"
"$bin/brimwell" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sample Tool' -

say "the Start-menu shortcuts, read back from the files"
"$bin/brimwell" prefix links

say "what was installed, and where"
installed="$BRIMWELL_PREFIX/drive_c/Program Files/Brimwell Sample Tool"
echo "C:\\Program Files\\Brimwell Sample Tool is $installed:"
(cd "$installed" && find . -type f -printf '  %P\t%s bytes\n' | sort)
"$installed/toolinfo.exe"
cat "$installed/samplereg.registered"
"$bin/brimwell" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sample Tool' /s

say "after a good run the install record is gone"
"$bin/brimwell" reg query 'HKLM\SOFTWARE\Brimwell\Install' 2>/dev/null || echo "(no install record left)"
# The clean-up batch runs once the engine has ended.
for _ in $(seq 1 50); do [ -z "$(ls -A "$work/tmp")" ] && break; sleep 0.1; done
echo "left in the temporary directory: $(ls -A "$work/tmp" | wc -l) entries"

say "the installed products"
"$bin/brimwell" prefix products

say "uninstalling: the record's UninstallString starts the uninstall program"
"$bin/brimwell" uninstall "Sample Tool"

say "what the install and the uninstall changed together (nothing, when all went)"
"$bin/brimwell" prefix snapshot "$work/after.json"
if "$bin/brimwell" prefix diff "$work/before.json" "$work/after.json"; then
  echo "(no difference: the prefix is as it was before the installation)"
else
  echo "demo: the uninstallation left the differences above"; exit 1
fi
echo
echo "demo: done; everything is in $work"
