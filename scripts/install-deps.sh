#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the demo need, if any is
# missing. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  freetds-dev libct4 freetds-bin
  libsqlite3-dev libicu-dev
  libcli11-dev libedit-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libdbd-sybase-perl python3-pymssql
  qtbase5-dev xvfb xauth
  procps ccache clang-format
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
