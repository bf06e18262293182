#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Runs apt-get only when something is missing, so a warm machine pays nothing.
set -euo pipefail

PACKAGES=(
  # toolchain
  g++ cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  # Qt and the libraries the program calls
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6 adwaita-icon-theme qt6-translations-l10n
  zlib1g-dev libjpeg62-turbo-dev libfontconfig-dev
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev
  libxcb-ewmh-dev libxcb-icccm4-dev libxcb-xtest0-dev libx11-xcb-dev libxkbcommon-dev
  libxcb-xinput-dev libxcb-shape0-dev
  libcurl4-openssl-dev libzip-dev libsane-dev libcups2-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth openbox xdotool wmctrl x11-utils trayer xclip dbus-daemon
  pngcheck libpng-dev giflib-tools libgif-dev libtiff-tools imagemagick ffmpeg libjpeg-turbo-progs
  libtiff-dev zip unzip
  xdg-utils curl openssl
  python3 python3-aiosmtpd sane-utils libsane1 poppler-utils cups-daemon cups-client
  scrot desktop-file-utils shared-mime-info
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 icoutils
  tidy chromium-headless-shell
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
