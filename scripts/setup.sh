#!/usr/bin/env bash
# scripts/setup.sh [run|test]: installs the Debian packages that building and running Vessa need
# ("run"), or those and what the tests and benchmarks need too ("test", the default).
# Idempotent: when everything is present it installs nothing and touches no package list.
set -euo pipefail

purpose=${1:-test}
if [[ $purpose != run && $purpose != test ]]; then
  echo "usage: $0 [run|test]" >&2
  exit 2
fi

packages=(
  # Build and UI (libmd4c-html0: md4c's CMake package refers to it)
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-declarative-dev qcoro-qt6-dev
  qml6-module-qtquick qml6-module-qtqml-workerscript qml6-module-qtquick-templates
  qml6-module-qtquick-controls qml6-module-qtquick-layouts qml6-module-qtquick-shapes
  nlohmann-json3-dev libmd4c-dev libmd4c-html0
  libxcb-keysyms1-dev libxtst-dev libsqlite3-dev libcpp-httplib-dev xdg-utils
  # Screens: QML models and windows, SVG icons, QCoro's QML tasks, the QML compilers,
  # the platform plugin of Wayland sessions
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qt-labs-qmlmodels
  qml6-module-qtquick-window qt6-svg-dev libqt6svg6
  libqcoro6qml0 qt6-declarative-dev-tools fonts-dejavu-core qt6-wayland
  # Desktop shell: X11 input recording, the portal over D-Bus
  libx11-dev libqt6dbus6 dbus
  # Voice: the WebRTC engine with ICE, Opus and VP8, audio capture and playback
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstreamer-plugins-bad1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-nice
  libnice-dev
  gstreamer1.0-pulseaudio gstreamer1.0-alsa
)

test_packages=(
  # Test and benchmark frameworks; clang for the fuzzers, clang-format for the format check
  libgtest-dev libgmock-dev libbenchmark-dev clang clang-format libclang-rt-14-dev
  # The WebRTC peer (Debian's own interpreter runs it), a loopback-only network namespace,
  # a sound server of the test's own with a virtual microphone
  python3-aiortc python3-aiohttp iproute2 pulseaudio pulseaudio-utils
  # The accessibility bus and a screen reader's library, to read what the chat exposes
  at-spi2-core python3-pyatspi
  # An X server with a tray, key presses, screenshots, the installed tree's validators
  xvfb xauth qml6-module-qttest trayer xdotool x11-utils imagemagick desktop-file-utils appstream
  # A Wayland compositor; the Debian package's checks
  weston lintian dpkg-dev file
  # The desktop portal with KDE's backend and shortcut daemon, to bind the hot key through
  xdg-desktop-portal xdg-desktop-portal-kde libkf5globalaccel-bin
)
if [[ $purpose == test ]]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -ne 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
