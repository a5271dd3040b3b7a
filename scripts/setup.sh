#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the application need.
# Idempotent: when everything is present it installs nothing and touches no package list.
set -euo pipefail

packages=(
  # Build and UI (libmd4c-html0: md4c's CMake package refers to it)
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev qt6-declarative-dev qcoro-qt6-dev
  qml6-module-qtquick qml6-module-qtqml-workerscript qml6-module-qtquick-templates
  qml6-module-qtquick-controls qml6-module-qtquick-layouts qml6-module-qtquick-shapes
  nlohmann-json3-dev libmd4c-dev libmd4c-html0 libgtest-dev libgmock-dev libbenchmark-dev
  libxcb-keysyms1-dev libxtst-dev libsqlite3-dev libcpp-httplib-dev xdg-utils
  # Screens: QML models and windows, SVG icons, QCoro's QML tasks, qmllint
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qt-labs-qmlmodels
  qml6-module-qtquick-window qt6-svg-dev libqt6svg6
  libqcoro6qml0 qt6-declarative-dev-tools fonts-dejavu-core
  # Desktop shell: X11 input recording, the portal over D-Bus
  libx11-dev libqt6dbus6 dbus
  # Voice: the WebRTC engine with ICE, Opus and VP8, audio capture and playback
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstreamer-plugins-bad1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-nice
  libnice-dev
  gstreamer1.0-pulseaudio gstreamer1.0-alsa
  # Tests: the WebRTC peer (Debian's own interpreter runs it), a loopback-only network namespace,
  # a sound server of the test's own with a virtual microphone
  python3-aiortc python3-aiohttp iproute2 pulseaudio pulseaudio-utils
  # Tests: the accessibility bus and a screen reader's library, to read what the chat exposes
  at-spi2-core python3-pyatspi
  # Tests: an X server with a tray, key presses, screenshots, the installed tree's validators
  xvfb xauth qml6-module-qttest trayer xdotool x11-utils imagemagick desktop-file-utils appstream
)

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
