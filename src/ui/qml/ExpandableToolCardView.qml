pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vessa

// A tool the assistant ran: its status and name, and on a click its input and output. Whether it
// is expanded belongs to whoever shows the card, which a click asks to toggle it.
Column {
    id: root

    // As ToolCallCard presents it: displayName, isExecuting, hasResult, hasDetails, input, output.
    property var toolCall: ({})
    property bool isExpanded: false

    signal toggled

    readonly property bool showsDetails: isExpanded && toolCall.hasDetails === true

    component Section: Column {
        id: section

        property string title
        property string body

        width: parent.width
        spacing: Theme.spacing.xs

        Text {
            text: section.title
            font: Theme.typography.caption
            color: Theme.colors.textSecondary
        }

        Rectangle {
            width: parent.width
            implicitHeight: bodyText.implicitHeight + 2 * Theme.spacing.sm
            radius: Theme.cornerRadius.xs
            color: Theme.colors.backgroundRoot

            TextEdit {
                id: bodyText

                x: Theme.spacing.sm
                y: Theme.spacing.sm
                width: parent.width - 2 * Theme.spacing.sm
                text: section.body
                textFormat: TextEdit.PlainText
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WrapAnywhere
                font.family: "monospace"
                font.pixelSize: 10
                color: Theme.colors.text
                activeFocusOnTab: false
                Accessible.role: Accessible.StaticText
                Accessible.name: section.title + ": " + section.body
                Accessible.ignored: !visible
            }
        }
    }

    AbstractButton {
        id: header

        width: root.width
        focusPolicy: Qt.StrongFocus
        Accessible.role: Accessible.Button
        Accessible.name: root.toolCall.displayName ?? ""
        Accessible.ignored: !visible
        Accessible.description: root.toolCall.isExecuting ? qsTr("Running") : root.toolCall.hasResult ? qsTr("Done") : qsTr("Failed")
        onClicked: root.toggled()

        contentItem: RowLayout {
            spacing: Theme.spacing.sm

            Item {
                implicitWidth: 14
                implicitHeight: 14

                BusyIndicator {
                    anchors.centerIn: parent
                    width: 20
                    height: 20
                    scale: 0.7
                    running: root.toolCall.isExecuting === true
                    visible: running
                    Accessible.ignored: !visible
                }

                SymbolIcon {
                    anchors.centerIn: parent
                    width: 10
                    height: 10
                    visible: root.toolCall.isExecuting !== true
                    name: root.toolCall.hasResult ? "checkmark" : "xmark"
                    color: root.toolCall.hasResult ? Theme.colors.accent : Theme.colors.error
                }
            }

            Text {
                Layout.fillWidth: true
                text: root.toolCall.displayName ?? ""
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: Theme.typography.caption.pixelSize
                font.weight: Font.Medium
                color: Theme.colors.text
            }

            SymbolIcon {
                objectName: "chevron"
                visible: root.toolCall.hasDetails === true
                implicitWidth: 10
                implicitHeight: 10
                name: "chevron.right"
                color: Theme.colors.textSecondary
                rotation: root.isExpanded ? 90 : 0

                Behavior on rotation {
                    NumberAnimation {
                        duration: 300
                        easing.type: Easing.OutCubic
                    }
                }
            }
        }

        background: Rectangle {
            color: header.visualFocus ? Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.15) : "transparent"
        }

        topPadding: Theme.spacing.sm
        bottomPadding: Theme.spacing.sm
        leftPadding: Theme.spacing.md
        rightPadding: Theme.spacing.md
    }

    Column {
        id: details

        objectName: "details"
        visible: root.showsDetails
        x: Theme.spacing.md
        width: root.width - 2 * Theme.spacing.md
        spacing: Theme.spacing.sm
        bottomPadding: Theme.spacing.md
        opacity: root.showsDetails ? 1 : 0

        Behavior on opacity {
            NumberAnimation {
                duration: 300
                easing.type: Easing.OutCubic
            }
        }

        Section {
            visible: root.toolCall.hasInput === true
            title: qsTr("Input")
            body: root.toolCall.input ?? ""
        }

        Section {
            visible: root.toolCall.hasResult === true
            title: qsTr("Output")
            body: root.toolCall.output ?? ""
        }
    }
}
