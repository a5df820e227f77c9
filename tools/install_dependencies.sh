#!/usr/bin/env bash
# Installs, through apt-get, the Debian packages that building and testing
# this project needs and that the machine does not have yet. Does nothing
# when everything is there.
set -euo pipefail

packages=(g++ cmake make libgtest-dev libbenchmark-dev libpng-dev gfortran util-linux parallel cdo)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" > /dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root, or: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
