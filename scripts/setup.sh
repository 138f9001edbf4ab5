#!/usr/bin/env bash
# Installs what building and testing the tool needs on a Debian 12 machine.
# Idempotent: returns at once when everything is already present.
set -euo pipefail

packages=(
  cmake g++ make ninja-build libgtest-dev libgmock-dev googletest
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb x11-utils imagemagick python3 clang-format nftables hyperfine
  samba-ad-dc samba-ad-provision ldb-tools slapd ldap-utils
  gnumeric
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing=("${packages[@]}")
else
  for pkg in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
# The directory tests run their own servers: slapd is installed without a database of its own,
# and no package may leave a service running. A policy of our own forbids starting any for the
# length of the install, unless the machine already has one.
echo "slapd slapd/no_configuration boolean true" | "${sudo_cmd[@]}" debconf-set-selections
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy"
  trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
