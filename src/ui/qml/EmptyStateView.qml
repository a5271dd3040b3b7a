pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// What a conversation without messages shows: the assistant, and suggestions to start with.
// Hidden, as when the conversation has messages, none of it is there for a screen reader.
Column {
    id: root

    signal quickAction(string text)

    padding: Theme.spacing.xl
    spacing: Theme.spacing.xxl

    Column {
        width: root.width - 2 * Theme.spacing.xl
        spacing: Theme.spacing.md

        VessaAvatarView {
            anchors.horizontalCenter: parent.horizontalCenter
            size: 64
        }

        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: AuthService.aiName
            textFormat: Text.PlainText
            elide: Text.ElideRight
            font: Theme.typography.title3
            color: Theme.colors.text
            Accessible.role: Accessible.Heading
            Accessible.name: text
            Accessible.ignored: !visible
        }

        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTr("How can I help you today?")
            wrapMode: Text.Wrap
            font: Theme.typography.subheadline
            color: Theme.colors.textSecondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Accessible.ignored: !visible
        }
    }

    Column {
        width: root.width - 2 * Theme.spacing.xl
        spacing: Theme.spacing.sm

        Text {
            leftPadding: Theme.spacing.xs
            text: qsTr("Try asking...")
            font: Theme.typography.caption
            color: Theme.colors.textSecondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Accessible.ignored: !visible
        }

        Column {
            width: parent.width
            spacing: Theme.spacing.xs

            Repeater {
                model: ["Log my breakfast", "What did I eat today?", "Add a todo: buy groceries", "How many calories this week?"]

                delegate: QuickActionButton {
                    required property string modelData

                    width: parent.width
                    title: modelData
                    Accessible.ignored: !visible
                    onClicked: root.quickAction(modelData)
                }
            }
        }
    }
}
