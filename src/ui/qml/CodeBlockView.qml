pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// Literal code on a tinted panel the width of the bubble, with a copy button.
Rectangle {
    id: root

    property string code
    property string copiedCode: code
    property bool canCopy: true
    property bool isUser

    implicitHeight: codeText.implicitHeight + 2 * Theme.spacing.sm
    radius: Theme.cornerRadius.xs
    color: isUser ? Qt.rgba(1, 1, 1, 0.15) : Theme.colors.backgroundRoot

    TextEdit {
        id: codeText

        x: Theme.spacing.sm
        y: Theme.spacing.sm
        width: parent.width - 2 * Theme.spacing.sm - (copy.visible ? copy.width : 0)
        text: root.code
        textFormat: TextEdit.PlainText
        readOnly: true
        selectByMouse: true
        persistentSelection: true
        wrapMode: TextEdit.WrapAnywhere
        font.family: "monospace"
        font.pixelSize: 11
        color: root.isUser ? Theme.colors.textOnAccent : Theme.colors.text
        selectionColor: Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.35)
        activeFocusOnTab: false
        Accessible.role: Accessible.StaticText
        Accessible.name: root.code
        Accessible.ignored: !visible
    }

    CopyButton {
        id: copy

        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 2
        visible: root.canCopy
        copiedText: root.copiedCode
        toolTip: qsTr("Copy code")
        iconColor: root.isUser ? Qt.rgba(1, 1, 1, 0.8) : Theme.colors.textSecondary
    }
}
