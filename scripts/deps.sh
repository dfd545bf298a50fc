#!/usr/bin/env bash
# Installs what building, running and testing Tunedesk needs on Debian 12.
# Only packages that are missing are installed; nothing asks questions.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libusb-1.0-0-dev umockdev libumockdev-dev
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n
  qt6-tools-dev qt6-l10n-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  libsodium-dev
  edid-decode
  fonts-noto-cjk
  xvfb xauth
  dpkg-dev file desktop-file-utils lintian appstream
  dbus libsystemd-dev python3-dbus
  clang-format-14
)
if [ "${1:-}" = "--fuzz" ]; then packages+=(clang libclang-rt-14-dev); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
