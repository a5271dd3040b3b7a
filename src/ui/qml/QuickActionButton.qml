pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vessa

// A suggestion of the empty chat; a click sends it.
AbstractButton {
    id: root

    property string title

    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    Accessible.name: title
    leftPadding: 12
    rightPadding: 12
    topPadding: 8
    bottomPadding: 8

    contentItem: RowLayout {
        Text {
            Layout.fillWidth: true
            text: root.title
            elide: Text.ElideRight
            font: Theme.typography.subheadline
            color: Theme.colors.text
        }

        SymbolIcon {
            implicitWidth: Theme.typography.caption.pixelSize
            implicitHeight: Theme.typography.caption.pixelSize
            name: "arrow.up.right"
            color: Theme.colors.accent
        }
    }

    background: Rectangle {
        radius: 8
        color: Theme.colors.backgroundDefault
        border.width: root.visualFocus ? 2 : 1
        border.color: root.visualFocus ? Theme.colors.accent : Theme.colors.border
    }
}
