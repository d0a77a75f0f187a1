#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with, when
# any is missing. Source it or run it; it is quiet when all are there.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config g++
  qt6-base-dev qt6-base-dev-tools
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev libtiff-dev libgif-dev
  libwebp-dev libheif-dev libimagequant-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils
  clang libclang-rt-14-dev
  libjpeg-turbo-progs imagemagick hyperfine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
