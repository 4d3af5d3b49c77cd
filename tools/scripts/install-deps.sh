#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing.
set -euo pipefail

# With arguments, installs those packages instead (make fuzz and make package need a few more).
if [ $# -gt 0 ]; then
  packages=("$@")
else
  packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev libqcustomplot-dev
    qt6-qpa-plugins fonts-dejavu-core fonts-liberation
    libglpk-dev libeigen3-dev libsqlite3-dev libbenchmark-dev poppler-utils clang-format python3
    libmosquitto-dev mosquitto mosquitto-clients openssl
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
