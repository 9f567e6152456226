#!/usr/bin/env bash
# Installs the build and test dependencies from Debian's packages.
# rsyslog is the collector the forward tests start on ports of their own
# (never as the system service); rsyslog-openssl gives it the TLS input, and
# the openssl command makes the tests' certificates; xxd turns bytes into hex
# for the settings interop test.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-dev
  libssl-dev openssl zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  rsyslog rsyslog-openssl xxd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
