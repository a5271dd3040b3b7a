# The Debian package of the installed tree: cpack -G DEB.
include(GNUInstallDirs)

set(VESSA_PACKAGE_CONTACT "Kolvane <vessa@kolvane.com>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")

# Debian names the documentation folder after the package, not after the project.
set(vessa_docdir ${CMAKE_INSTALL_DATADIR}/doc/vessa)
set(vessa_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(vessa_packaging_out ${PROJECT_BINARY_DIR}/packaging)

# Debian's changelog date format; string(TIMESTAMP) follows SOURCE_DATE_EPOCH when it is set.
string(TIMESTAMP VESSA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${vessa_packaging}/changelog.in ${vessa_packaging_out}/changelog @ONLY)
configure_file(${vessa_packaging}/vessa.1 ${vessa_packaging_out}/vessa.1 @ONLY)
configure_file(${vessa_packaging}/vessa-localserver.1 ${vessa_packaging_out}/vessa-localserver.1 @ONLY)

# Manual pages and the changelog ship compressed, without a name or time stamp in the gzip
# header, so the same tree gives the same package.
set(vessa_compressed)
foreach(file vessa.1 vessa-localserver.1 changelog)
  add_custom_command(
    OUTPUT ${vessa_packaging_out}/${file}.gz
    COMMAND gzip -9nc ${vessa_packaging_out}/${file} > ${vessa_packaging_out}/${file}.gz
    DEPENDS ${vessa_packaging_out}/${file}
    VERBATIM)
  list(APPEND vessa_compressed ${vessa_packaging_out}/${file}.gz)
endforeach()
add_custom_target(vessa_package_docs ALL DEPENDS ${vessa_compressed})
# Building the programs is enough for an install or a package.
add_dependencies(vessa vessa_package_docs)

install(FILES ${vessa_packaging_out}/vessa.1.gz ${vessa_packaging_out}/vessa-localserver.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${vessa_packaging}/copyright ${vessa_packaging_out}/changelog.gz
        DESTINATION ${vessa_docdir})

set(CPACK_PACKAGE_NAME vessa)
set(CPACK_PACKAGE_VENDOR Kolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VESSA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Vessa lives in the system tray. A click on its icon, or Ctrl+Shift+M
anywhere, opens a small popover where you chat with your assistant:
replies stream in as formatted text, and the tools the assistant uses
show as cards you can expand. A push-to-talk voice chat runs over WebRTC.

You sign in once through your browser, which hands the sign-in back to
Vessa through its vessa-mac: URL handler. The model, its tools and your
data stay with the assistant's service.

The package also holds vessa-localserver, a local backend that serves
every endpoint of the client on 127.0.0.1.]=])

# dpkg-shlibdeps computes the libraries the programs link. What Qt and GStreamer load at run time
# by name is invisible to it and is listed here: the QML modules the views import (QtQuick pulls
# in QtQml, which needs QtQml.Models and QtQml.WorkerScript; Controls needs the Templates), the
# Wayland platform plugin, the GStreamer plugins of the voice pipeline (Opus, RTP, the automatic
# audio devices, webrtcbin with DTLS and SRTP, the ICE transport), and xdg-open, through which
# the sign-in page opens in the browser. The SVG icon plugins come with libqt6svg6, which the
# programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(vessa_runtime_depends
  qml6-module-qtqml
  qml6-module-qtqml-models
  qml6-module-qtqml-workerscript
  qml6-module-qtquick
  qml6-module-qtquick-templates
  qml6-module-qtquick-controls
  qml6-module-qtquick-layouts
  qml6-module-qtquick-shapes
  qml6-module-qt-labs-qmlmodels
  qt6-wayland
  gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad
  gstreamer1.0-nice
  xdg-utils)
list(JOIN vessa_runtime_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
