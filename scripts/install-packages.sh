#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 fonts-wine xvfb xauth
          cmake ninja-build googletest tcl nasm dpkg-dev sqlite3 python3 file gcc make xz-utils)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "quorvel: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
echo "quorvel: installing ${missing[*]}"
apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
