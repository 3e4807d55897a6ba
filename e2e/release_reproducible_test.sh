#!/usr/bin/env bash
# The release command, natively: the same sources released from two folders of different names
# and depths, one after the other (build folders apart, the second under a longer path), give the
# same SHA256SUMS, which sha256sum -c accepts; the release's own check of its bill of materials
# and winget manifests passes (scripts/release.sh runs it). The package's codes come from its
# content: a second run of cmake/msi_identity.py keeps them, a package with one more property
# gets new ones. Costs two builds of the shipped programs and packages, without the tests.
# Usage: release_reproducible_test.sh
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d /tmp/ostinel-reproducible.XXXXXX)
failures=0
finish() { rm -rf "$tmp"; }
trap finish EXIT
trap 'exit 1' INT TERM HUP PIPE
check() { # description command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# The sources as they are in this tree (changes not committed included), with the commit's date.
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
version=$(sed -nE 's/^project\(Ostinel VERSION ([0-9.]+) .*/\1/p' "$root/CMakeLists.txt")
copy_sources() { # destination
  mkdir -p "$1" &&
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
     [ -e "$f" ] && printf '%s\0' "$f"; done | xargs -0 cp --parents -t "$1")
}
release() { # sources build out
  SOURCE_DATE_EPOCH=$epoch bash "$1/scripts/release.sh" --allow-dirty --build-dir "$2" --out "$3" >"$3.log" 2>&1 ||
    { tail -n 40 "$3.log"; return 1; }
}
one=$tmp/one
two=$tmp/second/a/longer/folder
copy_sources "$one/src" && copy_sources "$two/ostinel-sources" || { echo "copying the sources failed"; exit 1; }
started=$(date +%s)
check "a release from $one/src" release "$one/src" "$one/build" "$one/out"
first=$(( $(date +%s) - started ))
check "a release from $two/ostinel-sources" release "$two/ostinel-sources" "$tmp/b" "$two/out"
echo "release builds: ${first}s and $(( $(date +%s) - started - first ))s"

same_sums() {
  cmp -s "$one/out/SHA256SUMS" "$two/out/SHA256SUMS" && return 0
  diff "$one/out/SHA256SUMS" "$two/out/SHA256SUMS"
  return 1
}
check "both releases have the same SHA256SUMS" same_sums
sums_hold() { (cd "$two/out" && sha256sum --quiet -c SHA256SUMS); }
check "sha256sum -c accepts SHA256SUMS" sums_hold
only_what_ships() {
  local listed expected code languages
  # Each language of the table (as the release's build wrote them) has its template and its winget
  # manifest.
  languages=$(cat "$one/build/generated/table_lists/languages.txt") || return 1
  [ -n "$languages" ] || { echo "no languages in $one/build/generated/table_lists/languages.txt"; return 1; }
  expected="./Ostinel-$version-x64.msi ./Ostinel-$version.spdx.json ./OstinelSetup-$version-x64.exe
./PolicyDefinitions/Ostinel.admx ./SHA256SUMS ./winget/Vemto.Ostinel.installer.yaml ./winget/Vemto.Ostinel.yaml"
  for code in $languages; do
    expected+=$'\n'"./PolicyDefinitions/$code/Ostinel.adml"$'\n'"./winget/Vemto.Ostinel.locale.$code.yaml"
  done
  expected=$(echo "$expected" | tr ' ' '\n' | sort | tr '\n' ' ')
  listed=$(cd "$one/out" && find . -type f | sort | tr '\n' ' ')
  [ "$listed" = "$expected" ] || { echo "the release holds: $listed"; echo "it should hold: $expected"; return 1; }
}
check "the release holds what ships and nothing else" only_what_ships
unsigned() { ! osslsigncode extract-signature -in "$one/out/"OstinelSetup-*.exe -out "$tmp/sig" >/dev/null 2>&1 &&
             grep -q 'NOT signed' "$one/out.log"; }
check "without credentials the release is unsigned and says so" unsigned

codes() { # package: product code and package code
  msiinfo export "$1" Property | awk -F'\t' '$1 == "ProductCode" {print $2}'
  msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'
}
msi=$(ls "$one/out/"*.msi)
cp "$msi" "$tmp/again.msi"
cp "$msi" "$tmp/changed.msi"
identity() { python3 "$root/cmake/msi_identity.py" "$epoch" "$version" "$1" >/dev/null; }
codes_kept() { identity "$tmp/again.msi" && cmp -s "$msi" "$tmp/again.msi"; }
check "a second run of msi_identity.py keeps the package as it is" codes_kept
codes_changed() {
  msibuild "$tmp/changed.msi" -q "INSERT INTO Property (Property, Value) VALUES ('EXTRA', '1')" && identity "$tmp/changed.msi" &&
    [ "$(codes "$tmp/changed.msi" | sort -u | wc -l)" = 2 ] &&
    [ -z "$(comm -12 <(codes "$msi" | sort) <(codes "$tmp/changed.msi" | sort))" ]
}
check "a changed package gets a new product code and a new package code" codes_changed

echo "$failures failed"
[ "$failures" = 0 ]
