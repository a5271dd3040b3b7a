pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vessa

// The row at the bottom of the chat: the voice button, the text field that grows up to five
// lines, and the send button, which is a Stop button while a reply streams. Return sends,
// Shift+Return starts a new line.
Rectangle {
    id: root

    property string text
    property bool isLoading
    property bool hasVoiceChat

    readonly property bool canSend: text.trim().length > 0 && !isLoading

    // The typed text changed; the owner keeps it.
    signal textEdited(string text)
    signal send
    signal stop
    signal voiceChat

    // Puts the keyboard in the text field, whatever held it before.
    function takeFocus() {
        field.forceActiveFocus();
    }

    // Return sends when there is something to send; with Shift held it is left to the field,
    // which starts a new line.
    function handleReturn(event) {
        if (event.modifiers & Qt.ShiftModifier) {
            event.accepted = false;
            return;
        }
        if (canSend)
            send();
    }

    implicitHeight: row.implicitHeight + 24 + 1
    color: Theme.colors.backgroundDefault

    // The second click of a double click on Send would land on the Stop button the send turned it
    // into: after a click on Send, Stop takes no click until a double click's time has passed.
    Timer {
        id: stopGuard

        // Untyped: Qt 6.4's tools know the style hints only as a QObject.
        readonly property var styleHints: Qt.styleHints

        interval: styleHints.mouseDoubleClickInterval
    }

    Rectangle {
        width: parent.width
        height: 1
        color: Theme.colors.border
    }

    RowLayout {
        id: row

        anchors.fill: parent
        // Padded below the one-pixel divider.
        anchors.topMargin: Theme.spacing.md + 1
        anchors.bottomMargin: Theme.spacing.md
        anchors.leftMargin: Theme.spacing.md
        anchors.rightMargin: Theme.spacing.md
        spacing: Theme.spacing.sm

        AbstractButton {
            id: voiceButton

            objectName: "voiceButton"
            visible: root.hasVoiceChat
            Layout.alignment: Qt.AlignBottom
            implicitWidth: 36
            implicitHeight: 36
            focusPolicy: Qt.StrongFocus
            hoverEnabled: true
            Accessible.name: qsTr("Voice Chat")
            ToolTip.visible: hovered
            ToolTip.text: qsTr("Voice Chat")
            ToolTip.delay: 600
            onClicked: root.voiceChat()

            background: Rectangle {
                radius: 18
                color: Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.15)
                border.width: voiceButton.visualFocus ? 2 : 0
                border.color: Theme.colors.accent
            }

            contentItem: Item {
                SymbolIcon {
                    anchors.centerIn: parent
                    width: 16
                    height: 16
                    name: "waveform"
                    color: Theme.colors.accent
                }
            }
        }

        ScrollView {
            id: scroller

            readonly property real lineHeight: fontMetrics.lineSpacing

            Layout.fillWidth: true
            Layout.alignment: Qt.AlignBottom
            Layout.preferredHeight: Math.min(field.implicitHeight, lineHeight * 5 + 2 * Theme.spacing.sm)
            // Never shown, so never read out either.
            ScrollBar.horizontal: ScrollBar {
                policy: ScrollBar.AlwaysOff
                Accessible.ignored: !visible
            }

            FontMetrics {
                id: fontMetrics

                font: Theme.typography.body
            }

            TextArea {
                id: field

                objectName: "messageField"
                text: root.text
                wrapMode: TextEdit.Wrap
                textFormat: TextEdit.PlainText
                font: Theme.typography.body
                color: Theme.colors.text
                leftPadding: Theme.spacing.md
                rightPadding: Theme.spacing.md
                topPadding: Theme.spacing.sm
                bottomPadding: Theme.spacing.sm
                focus: true
                activeFocusOnTab: true
                Accessible.name: placeholder.text
                onTextChanged: {
                    if (text !== root.text)
                        root.textEdited(text);
                }
                Keys.onReturnPressed: event => root.handleReturn(event)
                Keys.onEnterPressed: event => root.handleReturn(event)

                // The control's own placeholder would draw the assistant's name, which a server
                // sent, as markup.
                Text {
                    id: placeholder

                    x: field.leftPadding
                    y: field.topPadding
                    width: field.width - field.leftPadding - field.rightPadding
                    visible: field.length === 0 && field.preeditText.length === 0
                    text: qsTr("Message %1...").arg(AuthService.aiName)
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font: field.font
                    color: Theme.colors.textSecondary
                    Accessible.ignored: true
                }

                background: Rectangle {
                    radius: Theme.cornerRadius.sm
                    color: Theme.colors.backgroundRoot
                    border.width: field.activeFocus ? 2 : 1
                    border.color: field.activeFocus ? Theme.colors.accent : Theme.colors.border
                }
            }
        }

        AbstractButton {
            id: sendButton

            objectName: "sendButton"
            Layout.alignment: Qt.AlignBottom
            implicitWidth: 36
            implicitHeight: 36
            enabled: root.canSend || root.isLoading
            // A click leaves the keyboard in the message field: the user types next.
            focusPolicy: Qt.TabFocus
            Accessible.name: root.isLoading ? qsTr("Stop") : qsTr("Send")
            onClicked: {
                if (!root.isLoading) {
                    stopGuard.restart();
                    root.send();
                } else if (!stopGuard.running) {
                    root.stop();
                }
            }

            background: Rectangle {
                radius: 18
                color: sendButton.enabled ? Theme.colors.accent : Theme.colors.backgroundSecondary
                border.width: sendButton.visualFocus ? 2 : 0
                border.color: Theme.colors.text

                Behavior on color {
                    ColorAnimation {
                        duration: Theme.animation.quick.durationMilliseconds
                        easing.type: Easing.InOutQuad
                    }
                }
            }

            contentItem: Item {
                SymbolIcon {
                    anchors.centerIn: parent
                    width: 16
                    height: 16
                    name: root.isLoading ? "stop.fill" : "arrow.up"
                    color: sendButton.enabled ? Theme.colors.textOnAccent : Theme.colors.textSecondary
                }
            }
        }
    }
}
