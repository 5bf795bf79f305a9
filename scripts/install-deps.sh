#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing resgraft need.
# Quick when everything is present: apt is asked only for what is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libicu-dev qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
  # the window's Japanese texts
  fonts-ipafont-gothic
  # independent cross-checks in the tests
  python3 python3-pefile icoutils binutils-mingw-w64-i686
  # screenshots of the window
  xvfb xdotool imagemagick
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
