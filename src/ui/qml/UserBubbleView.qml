pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// The user's message: its image and text in one accent-coloured bubble on the right.
MessageRow {
    id: root

    required property string content
    required property bool hasText
    required property bool hasImage
    required property string imageSource

    isUser: true
    isFirstPiece: true

    Rectangle {
        objectName: "userBubble"
        x: root.contentWidth - width
        width: Math.max(userText.visible ? userText.implicitWidth : 0, image.visible ? image.width : 0) + 2 * Theme.spacing.md
        height: userContent.implicitHeight + 2 * Theme.spacing.sm
        radius: Theme.cornerRadius.md
        color: Theme.colors.userBubble

        Column {
            id: userContent

            x: Theme.spacing.md
            y: Theme.spacing.sm
            width: parent.width - 2 * Theme.spacing.md
            spacing: Theme.spacing.sm

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
                availableWidth: root.contentWidth - 2 * Theme.spacing.md
                content: root.content
                isUser: true
            }
        }
    }
}
