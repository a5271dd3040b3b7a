pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Shapes
import Vessa

// Push-to-talk with the assistant: the session's state, the orb, the last text of each side, and
// the button that keeps the microphone on while it is held, by pointer or by the space bar.
Rectangle {
    id: root

    // The screen's state; a screen of the shared sign-in service unless one is handed in.
    property VoiceChatViewController controller: VoiceChatViewController {}
    readonly property VoiceChatService service: controller.voiceService

    signal dismiss

    implicitWidth: 400
    implicitHeight: 600
    color: Theme.colors.backgroundRoot
    Component.onCompleted: {
        // Whoever opens the voice chat means to talk; the space bar holds the button. Before the
        // session starts, so that an alert it raises at once keeps the keyboard.
        talkButton.forceActiveFocus();
        root.controller.appear();
    }
    Component.onDestruction: {
        if (root.controller)
            root.controller.disappear();
    }

    component Bubble: Rectangle {
        id: bubble

        property alias text: label.text
        property alias textColor: label.color
        property real maximumWidth

        implicitWidth: Math.min(label.implicitWidth + 2 * Theme.spacing.sm, maximumWidth)
        implicitHeight: label.implicitHeight + 2 * Theme.spacing.xs
        radius: Theme.cornerRadius.xs

        Text {
            id: label

            x: Theme.spacing.sm
            y: Theme.spacing.xs
            width: bubble.width - 2 * Theme.spacing.sm
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            font: Theme.typography.caption
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.spacing.lg
        spacing: Theme.spacing.lg

        RowLayout {
            Layout.fillWidth: true
            spacing: 0

            AbstractButton {
                id: closeButton

                objectName: "closeVoiceChatButton"
                implicitWidth: 28
                implicitHeight: 28
                focusPolicy: Qt.StrongFocus
                hoverEnabled: true
                Accessible.name: qsTr("Close")
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Close")
                ToolTip.delay: 600
                onClicked: root.dismiss()

                background: Rectangle {
                    radius: 14
                    color: Theme.colors.backgroundSecondary
                    border.width: closeButton.visualFocus ? 2 : 0
                    border.color: Theme.colors.accent
                }

                contentItem: Item {
                    SymbolIcon {
                        anchors.centerIn: parent
                        width: 12
                        height: 12
                        name: "xmark"
                        color: Theme.colors.textSecondary
                    }
                }
            }

            Item {
                Layout.fillWidth: true
            }

            ColumnLayout {
                spacing: 2

                Text {
                    Layout.alignment: Qt.AlignHCenter
                    text: qsTr("Voice Chat")
                    font.pixelSize: Theme.typography.subheadline.pixelSize
                    font.weight: Font.Medium
                    color: Theme.colors.text
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }

                Row {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: Theme.spacing.xs

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Pipecat + Claude"
                        font.pixelSize: 9
                        color: Theme.colors.textSecondary
                        opacity: 0.7
                    }

                    Rectangle {
                        objectName: "connectionDot"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 5
                        height: 5
                        radius: 2.5
                        color: root.controller.connection === VoiceChatViewController.Connected ? Theme.colors.success : root.controller.connection === VoiceChatViewController.Connecting ? Theme.colors.warning : Theme.colors.textSecondary
                    }

                    Text {
                        objectName: "connectionLabel"
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.controller.connectionLabel
                        font.pixelSize: 10
                        color: Theme.colors.textSecondary
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }

            Item {
                Layout.fillWidth: true
            }

            // Balances the close button, so the title sits in the middle.
            Item {
                implicitWidth: 28
                implicitHeight: 28
            }
        }

        Item {
            Layout.fillHeight: true
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing.md

            VoiceOrbView {
                objectName: "orb"
                Layout.alignment: Qt.AlignHCenter
                baseSize: 120
                isListening: root.service.isListening
                isSpeaking: root.service.isSpeaking
                isConnected: root.service.isConnected
                inputLevel: root.service.inputAudioLevel
                outputLevel: root.service.outputAudioLevel
            }

            Text {
                objectName: "statusLine"
                Layout.fillWidth: true
                Layout.preferredHeight: 20
                text: root.controller.statusText
                textFormat: Text.PlainText
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
                font: Theme.typography.caption
                color: Theme.colors.textSecondary
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Rectangle {
                objectName: "transcriptBox"
                Layout.fillWidth: true
                visible: root.controller.showsTranscript
                implicitHeight: rows.implicitHeight + 2 * Theme.spacing.sm
                radius: Theme.cornerRadius.sm
                color: Qt.rgba(Theme.colors.backgroundSecondary.r, Theme.colors.backgroundSecondary.g, Theme.colors.backgroundSecondary.b, 0.5)

                ColumnLayout {
                    id: rows

                    x: Theme.spacing.sm
                    y: Theme.spacing.sm
                    width: parent.width - 2 * Theme.spacing.sm
                    spacing: Theme.spacing.sm

                    RowLayout {
                        Layout.fillWidth: true
                        visible: root.controller.showsUserRow

                        Item {
                            Layout.fillWidth: true
                        }

                        Bubble {
                            objectName: "userBubble"
                            maximumWidth: rows.width
                            text: root.controller.userTranscript
                            textColor: Theme.colors.textOnAccent
                            color: Theme.colors.userBubble
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        visible: root.controller.showsAssistantRow

                        Bubble {
                            objectName: "assistantBubble"
                            maximumWidth: rows.width
                            text: root.controller.assistantResponse
                            textColor: Theme.colors.text
                            color: Theme.colors.assistantBubble
                        }

                        Item {
                            Layout.fillWidth: true
                        }
                    }
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }

        // Held, by pointer or space bar, the microphone is on; let go, it is off. Every move of a
        // held pointer and every repeat of a held key asks again, so holding the button while the
        // session comes up starts talking once it is up.
        AbstractButton {
            id: talkButton

            readonly property bool isListening: root.service.isListening

            objectName: "talkButton"
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 64
            implicitHeight: 64
            focusPolicy: Qt.StrongFocus
            opacity: root.service.isConnected ? 1 : 0.5
            scale: isListening ? 1.05 : 1
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Talk")
            Accessible.description: root.controller.hint
            // A screen reader cannot hold a button: its press turns talking on and off.
            Accessible.onPressAction: {
                if (talkButton.isListening)
                    root.controller.release();
                else
                    root.controller.press();
            }
            Keys.onPressed: event => {
                if (event.key !== Qt.Key_Space)
                    return;
                event.accepted = true;
                root.controller.press();
            }
            Keys.onReleased: event => {
                if (event.key !== Qt.Key_Space)
                    return;
                event.accepted = true;
                if (!event.isAutoRepeat)
                    root.controller.release();
            }

            // A spring of response 0.3 s and damping fraction 0.825 (settled within a quarter of
            // a second, overshooting by about 1%); these values follow that curve most closely.
            Behavior on scale {
                SpringAnimation {
                    spring: 6
                    damping: 0.45
                    epsilon: 0.001
                }
            }

            background: Item {
                // A path, so that the scaled ring stays whole on the software scene graph.
                Shape {
                    objectName: "talkRing"
                    anchors.centerIn: parent
                    width: 64
                    height: 64

                    ShapePath {
                        strokeColor: talkButton.isListening ? Theme.colors.accent : Theme.colors.border
                        strokeWidth: 2
                        fillColor: "transparent"

                        PathAngleArc {
                            centerX: 32
                            centerY: 32
                            radiusX: 32
                            radiusY: 32
                            sweepAngle: 360
                        }
                    }
                }

                Rectangle {
                    objectName: "talkDisc"
                    anchors.centerIn: parent
                    width: 54
                    height: 54
                    radius: 27
                    color: talkButton.isListening ? Theme.colors.accent : Theme.colors.backgroundSecondary
                    antialiasing: true
                }

                Rectangle {
                    anchors.centerIn: parent
                    visible: talkButton.visualFocus
                    width: 72
                    height: 72
                    radius: 36
                    color: "transparent"
                    border.width: 2
                    border.color: Theme.colors.text
                    antialiasing: true
                }
            }

            contentItem: Item {
                SymbolIcon {
                    objectName: "talkIcon"
                    anchors.centerIn: parent
                    width: 22
                    height: 22
                    name: talkButton.isListening ? "mic.fill" : "mic"
                    color: talkButton.isListening ? Theme.colors.textOnAccent : Theme.colors.accent
                }
            }

            MouseArea {
                anchors.fill: parent
                preventStealing: true
                onPressed: root.controller.press()
                onPositionChanged: root.controller.press()
                onReleased: root.controller.release()
                onCanceled: root.controller.release()
            }
        }

        Text {
            objectName: "hint"
            Layout.alignment: Qt.AlignHCenter
            text: root.controller.hint
            font: Theme.typography.caption
            color: Theme.colors.textSecondary
        }

        Item {
            Layout.preferredHeight: Theme.spacing.lg
        }
    }

    ErrorAlert {
        objectName: "voiceErrorAlert"
        alert: root.controller.alert
        title: qsTr("Error")
        // The talk button is what the user presses next.
        onClosed: talkButton.forceActiveFocus()
    }
}
