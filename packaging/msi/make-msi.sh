#!/usr/bin/env bash
# Builds the Windows installers with wixl (msitools): <out>-x64.msi with both
# widths of kovrad.dll, <out>-x86.msi for 32-bit Windows with the 32-bit one;
# each with the header, the function manual and the licence.
#   make-msi.sh <version> <32-bit kovrad.dll> <64-bit kovrad.dll> <source dir> <out>
set -euo pipefail
version=$1 dll32=$2 dll64=$3 source=$4 out=$5
here=$(dirname "$(readlink -f "$0")")
for f in "$dll32" "$dll64"; do
  [[ -f $f ]] || { echo "make-msi: $f is missing: build the mingw-i686 and mingw-x86_64 presets"; exit 1; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/x86" "$stage/x64"
cp "$dll32" "$stage/x86/kovrad.dll"
cp "$dll64" "$stage/x64/kovrad.dll"
cp "$source/library/include/kovrad.h" "$source/docs/functions.md" "$stage/"
cp "$source/LICENSE" "$stage/LICENSE.txt"
cp "$here/kovrad.wxs" "$stage/"
out=$(readlink -f "$out")
for arch in x64 x86; do
  (cd "$stage" && wixl -a $arch -D Version="$version" -D Arch=$arch -o "$out-$arch.msi" kovrad.wxs)
done
