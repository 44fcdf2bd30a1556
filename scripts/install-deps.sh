#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages; does nothing for
# those already present.
set -euo pipefail
packages=(cmake g++ make libgtest-dev tmux python3-pyte python3-pymodbus libmodbus-dev mbpoll socat)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
