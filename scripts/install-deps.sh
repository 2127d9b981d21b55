#!/usr/bin/env bash
# Installs the Debian packages that building and testing Ventilux needs.
# Safe to run again: apt-get skips what is already there, and the package
# lists are refreshed at most once per run of this script.
set -euo pipefail

build_packages=(
  build-essential cmake pkg-config clang-format ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libpulse-dev libglib2.0-dev libcairo2-dev libpipewire-0.3-dev libwayland-dev
  wayland-protocols libwayland-bin
)
runtime_packages=(
  xvfb x11-utils x11-xserver-utils x11-apps xdotool dbus libglib2.0-bin
  pulseaudio pulseaudio-utils ffmpeg procps sox
  python3-gi xfce4-panel
  mutter xdg-desktop-portal xdg-desktop-portal-gnome pipewire wireplumber weston
  desktop-file-utils appstream man-db
)

missing=()
for p in "${build_packages[@]}" "${runtime_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed already"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -q
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
