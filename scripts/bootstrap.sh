#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent and
# quick when everything is there: apt-get update runs only when a package is
# missing. Run as root on Debian 12 (CI does).
set -euo pipefail

PACKAGES=(
    # native build and tests
    cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
    # libraries the code builds on
    librapidxml-dev lzma-dev liblzma-dev libxxhash-dev libcurl4-openssl-dev libcpp-httplib-dev zlib1g-dev
    # the update signatures natively (publisher and the native launcher; Windows uses CNG)
    libssl-dev
    # the native launcher's windows: GTK 3 (with cairo and pango), the login page's engine, the tray, X11
    libgtk-3-dev libwebkit2gtk-4.1-dev libayatana-appindicator3-dev libx11-dev
    # their tests' desktop: a compositing manager for per-pixel alpha, a session bus
    xcompmgr dbus
    # Windows cross build
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    # running and driving the Windows build
    wine64 xvfb xdotool imagemagick fonts-noto-cjk
    # a free CJK TrueType font that stands in for the game's SimHei (demo and tests)
    fonts-droid-fallback
    # a web server nobody here wrote, for the integration tests
    nginx-light
    # tooling
    clang-format python3 python3-pytest python3-pil curl xz-utils
)

missing=()
for package in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "bootstrap: all ${#PACKAGES[@]} packages present"
    exit 0
fi

echo "bootstrap: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: run as root to install packages" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
echo "bootstrap: done"
