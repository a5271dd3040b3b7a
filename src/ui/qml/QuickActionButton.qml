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
    leftPadding: Theme.spacing.md
    rightPadding: Theme.spacing.md
    topPadding: Theme.spacing.sm
    bottomPadding: Theme.spacing.sm

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
        radius: Theme.cornerRadius.xs
        color: Theme.colors.backgroundDefault
        border.width: root.visualFocus ? 2 : 1
        border.color: root.visualFocus ? Theme.colors.accent : Theme.colors.border
    }
}
