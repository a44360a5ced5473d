#!/usr/bin/env bash
# Installs, from Debian's archive, exactly what the build and the tests need.
# Idempotent and quick when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev
  libosip2-dev libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  sip-tester iproute2 util-linux procps
  python3 python3-pytest
  libbcg729-dev
  # tools/make-audio-assets.sh only (the built-in prompts); a normal build needs neither
  espeak-ng sox
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
