#!/usr/bin/env bash
# Builds a release from the sources of this tree and writes only what ships to the output folder:
#   Ostinel-<version>-x64.msi, OstinelSetup-<version>-x64.exe, PolicyDefinitions/ (the
#   administrative templates), Ostinel-<version>.spdx.json (the bill of materials), winget/ (the
#   Windows Package Manager manifests) and SHA256SUMS.
# Signed when release credentials are in the environment (OSTINEL_SIGN_TOOL, OSTINEL_SIGN_PKCS12
# or OSTINEL_SIGN_CERT with OSTINEL_SIGN_KEY, and OSTINEL_SIGN_TIMESTAMP_URL: cmake/sign.cmake);
# unsigned otherwise. Unsigned, the same commit gives the same bytes wherever and whenever it is
# built on the same build machine (the times come from SOURCE_DATE_EPOCH, by default the commit's
# date).
#
# Usage: scripts/release.sh --out DIR [--base-url URL] [--build-dir DIR] [--allow-dirty]
#   --out DIR        where the release goes; must be empty or not exist
#   --base-url URL   where the files will be downloaded from (the winget manifests' addresses)
#   --build-dir DIR  the build folder, emptied first (default: build/release in this tree)
#   --allow-dirty    build a work tree with changes not committed (or one outside git)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out= build= allow_dirty=0
base_url=https://downloads.example.invalid/ostinel
usage() { sed -n '/^# Usage:/,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=${2:?}; shift 2 ;;
    --base-url) base_url=${2:?}; shift 2 ;;
    --build-dir) build=${2:?}; shift 2 ;;
    --allow-dirty) allow_dirty=1; shift ;;
    *) usage ;;
  esac
done
[ -n "$out" ] || usage
[[ $base_url =~ ^https?://[^[:space:]]+$ ]] || { echo "release: --base-url must be an http(s) address" >&2; exit 2; }
build=${build:-$root/build/release}
if [ -e "$out" ] && [ -n "$(ls -A "$out")" ]; then
  echo "release: $out is not empty" >&2; exit 1
fi

# A release is made of committed sources only, unless told otherwise.
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  changes=$(git -C "$root" status --porcelain)
  if [ -n "$changes" ] && [ $allow_dirty = 0 ]; then
    echo "release: the work tree has changes not committed (--allow-dirty builds it anyway):" >&2
    echo "$changes" | head -n 20 >&2
    exit 1
  fi
  : "${SOURCE_DATE_EPOCH:=$(git -C "$root" log -1 --format=%ct)}"
  described=$(git -C "$root" describe --always)${changes:+ with changes not committed}
elif [ $allow_dirty = 0 ]; then
  echo "release: $root is not a git work tree, so nothing shows it is committed (--allow-dirty builds it anyway)" >&2
  exit 1
else
  described="(not a git work tree)"
fi
: "${SOURCE_DATE_EPOCH:=315532800}"
export SOURCE_DATE_EPOCH

sign=OFF
for name in OSTINEL_SIGN_TOOL OSTINEL_SIGN_PKCS12 OSTINEL_SIGN_CERT; do
  [ -n "${!name:-}" ] && sign=ON && signer=$name
done
if [ $sign = ON ]; then
  echo "release: signing with $signer (timestamp from OSTINEL_SIGN_TIMESTAMP_URL)"
else
  echo "release: no release credentials in the environment: the files are NOT signed"
fi

version=$(sed -nE 's/^project\(Ostinel VERSION ([0-9.]+) .*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
echo "release: Ostinel $version from $described, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"

rm -rf "$build"
log=$(mktemp /tmp/ostinel-release-log.XXXXXX)
trap 'rm -f "$log"' EXIT
built() {
  "$@" >>"$log" 2>&1 || { tail -n 60 "$log" >&2; echo "release: failed: $*" >&2; exit 1; }
}
built cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DOSTINEL_SIGN=$sign
built cmake --build "$build" -j2 --target ostinel_msi OstinelSetup

mkdir -p "$out"
out=$(cd "$out" && pwd)
cp "$build/bin/Ostinel.msi" "$out/Ostinel-$version-x64.msi"
cp "$build/bin/OstinelSetup.exe" "$out/OstinelSetup-$version-x64.exe"
(cd "$build/bin" && find PolicyDefinitions -type f -exec cp --parents {} "$out" \;)

# What is inside, read from this build machine: the package that holds each library the programs
# link statically, and the NSIS that made the setup.
cxx=x86_64-w64-mingw32-g++-posix
owner_version() { # file: "<Debian package> <version>", or nothing without dpkg
  local package
  command -v dpkg >/dev/null || return 0
  package=$(dpkg -S "$(readlink -f "$1")" 2>/dev/null | head -n 1 | cut -d: -f1) || return 0
  [ -n "$package" ] && echo "$package $(dpkg-query -W -f='${Version}' "$package")"
}
component() { # name version-from-the-tool file where
  local owner
  owner=$(owner_version "$3")
  echo "--component=$1=$2${owner:+ (Debian $owner)}=$4"
}
gcc_version=$($cxx -dumpfullversion)
mingw_version=$(printf '#include <_mingw.h>\n__MINGW64_VERSION_STR\n' | $cxx -E -P -x c++ - | tail -n 1 | tr -d '" ')
nsis_version=$(makensis -VERSION)
nsis_stub=$(ls /usr/share/nsis/Stubs/lzma_solid-amd64-unicode 2>/dev/null || command -v makensis)
product_code=$(msiinfo export "$out/Ostinel-$version-x64.msi" Property | awk -F'\t' '$1 == "ProductCode" {print $2}' | tr -d '\r')
python3 "$root/scripts/release_files.py" write "$out" --version "$version" --base-url "$base_url" \
  --product-code "$product_code" --epoch "$SOURCE_DATE_EPOCH" \
  "$(component "GCC C++ library libstdc++ with libgcc and libssp" "$gcc_version" "$($cxx -print-file-name=libstdc++.a)" programs)" \
  "$(component "mingw-w64 runtime (CRT and winpthreads)" "$mingw_version" "$($cxx -print-file-name=libmingw32.a)" programs)" \
  "$(component "NSIS installer stub" "$nsis_version" "$nsis_stub" setup)"
python3 "$root/scripts/release_files.py" check "$out" --version "$version" >&2 ||
  { echo "release: the release's own check failed" >&2; exit 1; }

echo "release: wrote $out:"
(cd "$out" && find . -type f | sort | sed 's|^\./|  |')
[ $sign = ON ] || echo "release: unsigned (see README, Releases, for comparing a signed release with a rebuild)"
