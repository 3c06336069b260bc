#!/usr/bin/env bash
# Installs the Debian packages the toolkit builds and tests with, and only those
# that are missing. Safe to run again; non-interactive.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  zlib1g-dev qt6-base-dev libsqlite3-dev
  libcurl4-openssl-dev nlohmann-json3-dev libdeflate-dev ccache
  # faces the wizard draws with: Arial's metric twin, CJK and Hebrew
  fonts-liberation2 fonts-noto-cjk culmus
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # real peers used by the tests
  python3 python3-pyftpdlib liblnk-utils binutils-mingw-w64-i686 python3-pefile
  python3-jsonschema
  # makes the HTTPS test server's certificate
  openssl
  # benchmarks compare against these
  pigz
  # fuzzing
  clang
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
