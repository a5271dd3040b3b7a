pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import Vessa

// A failure's title and description with one "OK" button, centred over the screen that shows it,
// while the screen's alert says so. Closing it hides the alert.
Popup {
    id: root

    required property ErrorAlertState alert
    property string title

    x: parent ? (parent.width - width) / 2 : 0
    y: parent ? (parent.height - height) / 2 : 0
    width: Math.min(280, parent ? parent.width - 2 * Theme.spacing.xxl : 280)
    modal: true
    focus: true
    padding: Theme.spacing.lg
    closePolicy: Popup.CloseOnEscape
    visible: root.alert.isShown
    onOpened: okButton.forceActiveFocus()
    onClosed: root.alert.isShown = false

    background: Rectangle {
        radius: Theme.cornerRadius.sm
        color: Theme.colors.backgroundDefault
        border.width: 1
        border.color: Theme.colors.border
    }

    Column {
        width: parent.width
        spacing: Theme.spacing.md
        Accessible.role: Accessible.AlertMessage
        Accessible.name: root.title
        Accessible.description: root.alert.message

        Text {
            width: parent.width
            text: root.title
            horizontalAlignment: Text.AlignHCenter
            font: Theme.typography.headline
            color: Theme.colors.text
        }

        Text {
            objectName: "alertMessage"
            width: parent.width
            text: root.alert.message
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            font: Theme.typography.body
            color: Theme.colors.text
        }

        AbstractButton {
            id: okButton

            width: parent.width
            implicitHeight: 32
            focusPolicy: Qt.StrongFocus
            Accessible.name: qsTr("OK")
            onClicked: root.close()
            Keys.onReturnPressed: root.close()

            background: Rectangle {
                radius: Theme.cornerRadius.xs
                color: Theme.colors.accent
                border.width: okButton.visualFocus ? 2 : 0
                border.color: Theme.colors.text
            }

            contentItem: Text {
                text: qsTr("OK")
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                font: Theme.typography.headline
                color: Theme.colors.textOnAccent
            }
        }
    }
}
