pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// Copies a text to the clipboard.
SymbolButton {
    id: root

    property string copiedText

    symbol: "doc.on.doc"
    toolTip: qsTr("Copy")
    iconSize: 12
    iconColor: Theme.colors.textSecondary
    onClicked: DesktopActions.copyText(root.copiedText)
}
