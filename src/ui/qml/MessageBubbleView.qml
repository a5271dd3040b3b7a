pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// One piece of a message in the chat: the user's bubble on the right in the accent colour; of
// the assistant's message, beside its avatar on the left, the tool group, one block of its text
// bubble, the typing dots while it streams, or the button that copies the finished reply. The
// blocks of one reply join into one bubble, rounded at its top and bottom.
Item {
    id: root

    required property string messageId
    required property bool isUser
    required property string piece
    required property bool isFirstPiece
    required property string blockKind
    required property string text
    required property var items
    required property var headers
    required property var rows
    required property bool isFirstBlock
    required property bool isLastBlock
    required property bool isOnlyBlock
    required property bool isContinuation
    required property int firstNumber
    required property string wholeCode
    required property var toolCalls
    required property string content
    required property bool hasText
    required property bool hasImage
    required property string imageSource

    // The widest the content column may grow.
    readonly property real contentWidth: isUser ? width - 24 - 20 : width - 24 - 24 - 8 - 8
    // Messages are 16 apart, the pieces of one message 8, the blocks of one bubble touch.
    readonly property real gap: isFirstPiece ? 16 : (piece === "block" && !isFirstBlock ? 0 : 8)
    // Inside the bubble: 8 above its first block and between blocks, none within a block.
    readonly property real blockTop: isContinuation ? 0 : 8
    readonly property real bubbleX: isUser ? 12 + 20 : 12 + 24 + 8

    implicitHeight: gap + body.implicitHeight
    height: implicitHeight

    VessaAvatarView {
        visible: !root.isUser && root.isFirstPiece
        x: 12
        y: root.gap
        size: 24
    }

    // Only the piece this row shows is made.
    Column {
        id: body

        x: root.bubbleX
        y: root.gap
        width: root.contentWidth

        Repeater {
            model: root.piece === "user" ? 1 : 0

            delegate: Rectangle {
                objectName: "userBubble"
                x: body.width - width
                width: Math.max(userText.visible ? userText.implicitWidth : 0, image.visible ? image.width : 0) + 24
                height: userContent.implicitHeight + 16
                radius: 16
                color: Theme.colors.userBubble

                Column {
                    id: userContent

                    x: 12
                    y: 8
                    width: parent.width - 24
                    spacing: 8

                    Image {
                        id: image

                        visible: root.hasImage && status === Image.Ready
                        anchors.right: parent.right
                        source: root.hasImage ? root.imageSource : ""
                        fillMode: Image.PreserveAspectCrop
                        width: Math.min(180, sourceSize.width)
                        height: Math.min(180, sourceSize.height)
                        asynchronous: true
                    }

                    MarkdownTextView {
                        id: userText

                        visible: root.hasText
                        width: parent.width
                        availableWidth: root.contentWidth - 24
                        content: root.content
                        isUser: true
                    }
                }
            }
        }

        Repeater {
            model: root.piece === "tools" ? 1 : 0

            delegate: Rectangle {
                objectName: "toolGroup"
                width: body.width
                height: cards.implicitHeight
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
        }

        // A block's part of the reply's bubble: the first rounds the top corners, the last the
        // bottom ones, by drawing a rounded shape that reaches past the clipped edge.
        Repeater {
            model: root.piece === "block" ? 1 : 0

            delegate: Item {
                objectName: "textBubble"
                width: root.isOnlyBlock ? block.implicitWidth + 24 : body.width
                height: block.implicitHeight + root.blockTop + (root.isLastBlock ? 8 : 0)
                clip: true

                Rectangle {
                    y: root.isFirstBlock ? 0 : -16
                    width: parent.width
                    height: parent.height + (root.isFirstBlock ? 0 : 16) + (root.isLastBlock ? 0 : 16)
                    radius: 16
                    color: Theme.colors.assistantBubble
                }

                MarkdownBlockView {
                    id: block

                    x: 12
                    y: root.blockTop
                    width: parent.width - 24
                    availableWidth: root.contentWidth - 24
                    kind: root.blockKind
                    firstNumber: root.firstNumber
                    wholeCode: root.wholeCode
                    isContinuation: root.isContinuation
                    text: root.text
                    items: root.items
                    headers: root.headers
                    rows: root.rows
                    hugs: root.isOnlyBlock
                    isUser: false
                }
            }
        }

        Repeater {
            model: root.piece === "typing" ? 1 : 0

            delegate: Rectangle {
                objectName: "typingBubble"
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

        Repeater {
            model: root.piece === "copy" ? 1 : 0

            delegate: CopyButton {
                objectName: "copyReply"
                copiedText: root.content
                toolTip: qsTr("Copy reply")
            }
        }
    }
}
