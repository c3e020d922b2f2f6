#!/usr/bin/env bash
# Installs the Debian packages the project needs that are not there yet.
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev sqlite3 libgtest-dev
      fonts-liberation clang libclang-rt-14-dev dbus shared-mime-info poppler-utils clang-format
      appstream desktop-file-utils dpkg-dev file postgresql libpq-dev
      nlohmann-json3-dev python3-jsonschema systemd)
[ "${1:-}" = "--bench" ] && pkgs+=(fio)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
