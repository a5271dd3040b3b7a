#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks it as Debian's tools do.
set -euo pipefail
build=$1
version=$2
for tool in cpack lintian dpkg-deb dpkg-shlibdeps file; do
    command -v $tool >/dev/null ||
        { echo "$tool missing: install cmake, lintian, dpkg-dev and file"; exit 1; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; echo "cpack failed"; exit 1; }
deb=$out/vessa_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "no package named ${deb##*/}; cpack made:"; ls "$out"; exit 1; }

# Errors fail; warnings and notes are shown for the reader. --no-cfg: no user or machine settings.
lintian --no-cfg --fail-on error "$deb" >"$out/lintian.log" 2>&1 ||
    { cat "$out/lintian.log"; echo "lintian reports errors (E:) in ${deb##*/}"; exit 1; }
cat "$out/lintian.log"

# The libraries come from dpkg-shlibdeps, the QML modules from our own list.
depends=$(dpkg-deb --field "$deb" Depends)
for package in libqt6core6 libqt6quick6 libgstreamer1.0-0 qml6-module-qtquick-controls; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" ||
        { echo "Depends lacks $package: $depends"; exit 1; }
done

expected="./usr/bin/vessa
./usr/bin/vessa-localserver
./usr/share/applications/com.kolvane.vessa-mac.desktop
./usr/share/doc/vessa/changelog.gz
./usr/share/doc/vessa/copyright
./usr/share/icons/hicolor/scalable/apps/com.kolvane.vessa-mac.svg
./usr/share/man/man1/vessa-localserver.1.gz
./usr/share/man/man1/vessa.1.gz
./usr/share/metainfo/com.kolvane.vessa-mac.metainfo.xml"
files=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | grep -v '/$' | sort)
diff <(echo "$expected") <(echo "$files") >&2 ||
    { echo "the package's files differ from the installed tree above (< expected, > packaged)"; exit 1; }
