#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need (as root), or prints the
# exact apt-get line to run (as another user). Quiet when everything is there. With the argument
# "fuzz", also the fuzzing tools.
set -euo pipefail

OSTINEL_PACKAGES=(
  cmake make g++ pkg-config python3
  googletest libgtest-dev libbenchmark-dev libpixman-1-dev
  wixl msitools
  mingw-w64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 xvfb x11-utils xdotool imagemagick fonts-wqy-microhei locales-all
  nsis osslsigncode openssl softhsm2 libengine-pkcs11-openssl opensc
)

# scripts/deps.sh fuzz: also what scripts/fuzz-support-report.sh needs (clang and libFuzzer).
if [ "${1:-}" = fuzz ]; then
  OSTINEL_PACKAGES+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${OSTINEL_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Run as root:" >&2
  echo "  sudo $line" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! $line >/tmp/ostinel-apt.log 2>&1; then
  apt-get update >>/tmp/ostinel-apt.log 2>&1
  $line >>/tmp/ostinel-apt.log 2>&1 || { tail -20 /tmp/ostinel-apt.log >&2; exit 1; }
fi
