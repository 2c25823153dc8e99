#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any of them is missing, and prepares the Wine prefix once.
set -euo pipefail

packages=(
  cmake ninja-build clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 libgtest-dev libunicorn-dev imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -ne 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The first start of Wine creates its prefix, which takes a while: do it
# once here rather than inside the first test that runs a Windows program.
prefix="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$prefix/system.reg" ]; then
  echo "preparing the Wine prefix in $prefix"
  WINEDEBUG=-all /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1 || true
fi
