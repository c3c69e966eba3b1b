#!/usr/bin/env bash
# Installs the Debian 12 packages Vanteo needs to build, run and test.
# Safe to run again: apt-get only adds what is missing.
set -euo pipefail

packages=(
	build-essential cmake ninja-build pkg-config git curl ca-certificates openssl
	libobs-dev obs-studio qtbase5-dev
	libcurl4-openssl-dev libboost-dev libssl-dev zlib1g-dev libdeflate-dev libx11-dev
	libgtest-dev libgmock-dev libbenchmark-dev clang clang-format
	xvfb xauth imagemagick xdotool chromium
)
# Node.js 20 may come from another repository; only add Debian's when absent.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

sudo=
if [ "$(id -u)" -ne 0 ]; then
	sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${packages[@]}"

# The page views are built against the Qt major version of the installed OBS
# Studio (Debian 12's is built with Qt 5).
if ldd "$(command -v obs)" 2>/dev/null | grep -q libQt6Widgets; then
	$sudo apt-get install -y -q --no-install-recommends qt6-base-dev qt6-webengine-dev
else
	$sudo apt-get install -y -q --no-install-recommends qtwebengine5-dev
fi
