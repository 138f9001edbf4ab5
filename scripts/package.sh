#!/usr/bin/env bash
# Builds both architectures and makes the release package, dist/quillmark-1.00-windows.zip:
# x86/ and x64/ with both programs, README.txt (the README's administrator's guide), the licence,
# third-party notices and SHA256SUMS. The same commit gives the same bytes wherever it is built.
# Then checks the package: its listing, its hashes and each program's version block.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
for preset in windows windows64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target lookup_tool companion_tool >/dev/null
done

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
for arch in x86 x64; do
  build=build/windows
  [ "$arch" = x64 ] && build=build/windows64
  mkdir -p "$staging/$arch"
  cp "$build/shell/Ambrel Quillmark Lookup Tool.exe" "$build/companion/quillmark.exe" "$staging/$arch/"
done
# Text files with Windows line ends, for Notepad on older systems.
to_windows_lines() { sed 's/$/\r/' "$1" >"$2"; }
sed -n "/<!-- administrator's guide begins/,/<!-- administrator's guide ends -->/p" README.md |
  sed '1d;$d' >"$staging/guide.md"
[ -s "$staging/guide.md" ] || { echo "package: README.md has no administrator's guide" >&2; exit 1; }
{
  echo "Ambrel Quillmark Lookup Tool 1.00"
  echo
  cat "$staging/guide.md"
} >"$staging/README.md"
to_windows_lines "$staging/README.md" "$staging/README.txt"
rm "$staging/guide.md" "$staging/README.md"
to_windows_lines LICENSE "$staging/LICENSE.txt"
to_windows_lines resources/THIRD-PARTY-NOTICES.txt "$staging/THIRD-PARTY-NOTICES.txt"
(cd "$staging" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
  while read -r file; do sha256sum "$file"; done >SHA256SUMS)

mkdir -p dist
package=dist/quillmark-1.00-windows.zip
rm -f "$package"
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
SOURCE_DATE_EPOCH=$epoch python3 scripts/package.py make "$package" "$staging"
python3 scripts/package.py check "$package"
echo "$(sha256sum "$package")"
