pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import Vessa

// A plain icon button; its tooltip is also its name for screen readers.
AbstractButton {
    id: root

    property string symbol
    property string toolTip
    property color iconColor: Theme.colors.text
    property real iconSize: 16

    implicitWidth: iconSize + 2 * Theme.spacing.xs
    implicitHeight: iconSize + 2 * Theme.spacing.xs
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    Accessible.name: toolTip
    ToolTip.visible: hovered && toolTip.length > 0
    ToolTip.text: toolTip
    ToolTip.delay: 600

    contentItem: Item {
        SymbolIcon {
            anchors.centerIn: parent
            width: root.iconSize
            height: root.iconSize
            name: root.symbol
            color: root.iconColor
            opacity: root.enabled ? 1 : 0.4
        }
    }

    background: Rectangle {
        radius: 6
        color: root.visualFocus ? Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.2) : "transparent"
    }
}
