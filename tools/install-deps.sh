#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev
  libusb-1.0-0-dev umockdev libumockdev-dev
  fonts-noto-cjk
  xvfb xauth qt6-qpa-plugins
  libcli11-dev nlohmann-json3-dev libcsv-dev python3-jsonschema
  dpkg-dev lintian desktop-file-utils appstream man-db bash-completion
  ansible-core
  libcpp-httplib-dev libyaml-cpp-dev prometheus prometheus-node-exporter systemd tmux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
"${sudo[@]}" apt-get update -qq
# The monitoring packages ship daemons; the tests start their own copies on
# loopback, so nothing may start at install time.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
  "${sudo[@]}" chmod 755 "$policy"
  own_policy=1
fi
status=0
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
[ "$own_policy" -eq 1 ] && "${sudo[@]}" rm -f "$policy"
exit "$status"
