pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// One message of the chat: the user's on the right in the accent colour, the assistant's on the
// left beside its avatar, with the tools it ran above its text and the typing dots while it
// streams. Draws nothing when there is nothing to show.
Item {
    id: root

    required property string messageId
    required property bool isUser
    required property string content
    required property var toolCalls
    required property bool isStreaming
    required property bool hasText
    required property bool hasImage
    required property bool isBubbleVisible
    required property string imageSource

    // The widest the content column may grow.
    readonly property real contentWidth: isUser ? width - 24 - 20 : width - 24 - 24 - 8 - 8

    implicitHeight: isBubbleVisible ? column.implicitHeight : 0
    height: implicitHeight
    visible: isBubbleVisible

    VessaAvatarView {
        visible: !root.isUser
        x: 12
        size: 24
    }

    Column {
        id: column

        x: root.isUser ? root.width - 12 - width : 12 + 24 + 8
        width: root.contentWidth
        spacing: 8

        Rectangle {
            objectName: "toolGroup"
            visible: root.toolCalls.length > 0
            width: parent.width
            implicitHeight: cards.implicitHeight
            radius: 16
            color: Theme.colors.backgroundSecondary
            clip: true

            Column {
                id: cards

                width: parent.width

                Repeater {
                    model: root.toolCalls

                    delegate: Column {
                        id: card

                        required property int index
                        required property var modelData

                        width: cards.width

                        Rectangle {
                            visible: card.index > 0
                            x: 12
                            width: parent.width - 24
                            height: 1
                            color: Theme.colors.border
                        }

                        ExpandableToolCardView {
                            width: parent.width
                            toolCall: card.modelData
                        }
                    }
                }
            }
        }

        Rectangle {
            id: bubble

            objectName: "textBubble"
            visible: root.hasText || (root.isUser && root.hasImage)
            anchors.right: root.isUser ? parent.right : undefined
            width: Math.max(text.implicitWidth, image.visible ? image.width : 0) + 24
            implicitHeight: bubbleContent.implicitHeight + 16
            radius: 16
            color: root.isUser ? Theme.colors.userBubble : Theme.colors.assistantBubble

            Column {
                id: bubbleContent

                x: 12
                y: 8
                width: parent.width - 24
                spacing: 8

                Image {
                    id: image

                    visible: root.isUser && status === Image.Ready
                    anchors.right: parent.right
                    source: root.isUser ? root.imageSource : ""
                    fillMode: Image.PreserveAspectCrop
                    width: Math.min(180, sourceSize.width)
                    height: Math.min(180, sourceSize.height)
                    asynchronous: true
                }

                MarkdownTextView {
                    id: text

                    visible: root.hasText
                    width: parent.width
                    availableWidth: root.contentWidth - 24
                    content: root.content
                    isUser: root.isUser
                }
            }
        }

        CopyButton {
            objectName: "copyReply"
            visible: !root.isUser && root.hasText && !root.isStreaming
            copiedText: root.content
            toolTip: qsTr("Copy reply")
        }

        Rectangle {
            objectName: "typingBubble"
            visible: root.isStreaming
            width: typing.implicitWidth + 24
            height: typing.implicitHeight + 16
            radius: 16
            color: Theme.colors.assistantBubble

            TypingIndicatorView {
                id: typing

                x: 12
                y: 8
            }
        }
    }
}
