pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import Vessa

// Under an exchange whose send failed: sends the same message again.
MessageRow {
    id: root

    signal retry

    AbstractButton {
        id: button

        objectName: "retryButton"
        focusPolicy: Qt.StrongFocus
        hoverEnabled: true
        leftPadding: Theme.spacing.md
        rightPadding: Theme.spacing.md
        topPadding: Theme.spacing.sm
        bottomPadding: Theme.spacing.sm
        Accessible.role: Accessible.Button
        Accessible.name: qsTr("Retry")
        Accessible.ignored: !visible
        onClicked: root.retry()

        contentItem: Text {
            text: qsTr("Retry")
            font: Theme.typography.body
            color: Theme.colors.accent
        }

        background: Rectangle {
            radius: Theme.cornerRadius.xs
            color: button.hovered ? Theme.colors.backgroundSecondary : Theme.colors.backgroundDefault
            border.width: button.visualFocus ? 2 : 1
            border.color: button.visualFocus ? Theme.colors.accent : Theme.colors.border
        }
    }
}
