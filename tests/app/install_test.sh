#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what the desktop reads from it.
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

id=com.kolvane.vessa-mac
for file in bin/vessa bin/vessa-localserver share/applications/$id.desktop \
    share/icons/hicolor/scalable/apps/$id.svg share/metainfo/$id.metainfo.xml; do
    [[ -s $prefix/$file ]] || { echo "not installed: $file"; exit 1; }
done
[[ -x $prefix/bin/vessa ]] || { echo "bin/vessa is not executable"; exit 1; }
# The browser starts the URL handler in a folder of its choosing: no run path may make the loader
# look there, or anywhere but the system's folders.
for binary in "$build/src/app/vessa" "$build/localserver/vessa-localserver" \
    "$prefix/bin/vessa" "$prefix/bin/vessa-localserver"; do
    if readelf -d "$binary" | grep -E 'R(UN)?PATH'; then
        echo "$binary has a run path"
        exit 1
    fi
done
grep -qx 'MimeType=x-scheme-handler/vessa-mac;' "$prefix/share/applications/$id.desktop" ||
    { echo "the desktop entry does not handle vessa-mac URLs"; exit 1; }
grep -q "<release version=\"$version\"" \
    "$prefix/share/metainfo/$id.metainfo.xml" ||
    { echo "the metainfo does not name release $version"; exit 1; }

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/$id.desktop"
else
    echo "desktop-file-validate missing: desktop entry not validated"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
else
    echo "appstreamcli missing: metainfo not validated"
fi
