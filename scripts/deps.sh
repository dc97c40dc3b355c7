#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when
# they are all present already. Run as root (or with sudo available).
set -euo pipefail
pkgs=(build-essential cmake ninja-build g++ clang libclang-rt-14-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      qt6-base-dev qt6-serialport-dev libgl-dev fonts-noto-cjk fonts-dejavu-core
      dpkg-dev desktop-file-utils)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
