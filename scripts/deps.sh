#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where they are missing.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev googletest libbenchmark-dev liblua5.4-dev nlohmann-json3-dev
          libncurses-dev tmux clang-14 libclang-rt-14-dev
          # The Windows build and its tests under Wine.
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
          # The 32-bit Windows build (compiled and checked, never run here).
          g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine64 libwine-dev
          # The Windows packages (wixl; msiinfo reads them back in the tests).
          wixl msitools
          # The C++ interfaces and the script writers' reference are generated from the IDL with python3.
          python3
          # The Windows login dialog's test on a virtual display.
          xvfb xdotool imagemagick
          # The benchmark script's peak memory and ratios.
          time bc
          # The builds compile through ccache, its cache kept outside the clone.
          ccache)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
