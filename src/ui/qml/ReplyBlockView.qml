pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// One block (or part of a long block) of the assistant's text. The blocks of one reply join into
// one bubble: the first rounds its top corners, the last its bottom ones, by drawing a rounded
// shape that reaches past the clipped edge.
MessageRow {
    id: root

    required isFirstPiece
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

    // Inside the bubble: 8 above its first block and between blocks, none within a block.
    readonly property real blockTop: isContinuation ? 0 : Theme.spacing.sm

    gap: isFirstPiece ? Theme.spacing.lg : (isFirstBlock ? Theme.spacing.sm : 0)

    Item {
        objectName: "textBubble"
        width: root.isOnlyBlock ? block.implicitWidth + 2 * Theme.spacing.md : root.contentWidth
        height: block.implicitHeight + root.blockTop + (root.isLastBlock ? Theme.spacing.sm : 0)
        clip: true

        Rectangle {
            y: root.isFirstBlock ? 0 : -Theme.cornerRadius.md
            width: parent.width
            height: parent.height + (root.isFirstBlock ? 0 : Theme.cornerRadius.md) + (root.isLastBlock ? 0 : Theme.cornerRadius.md)
            radius: Theme.cornerRadius.md
            color: Theme.colors.assistantBubble
        }

        MarkdownBlockView {
            id: block

            x: Theme.spacing.md
            y: root.blockTop
            width: parent.width - 2 * Theme.spacing.md
            availableWidth: root.contentWidth - 2 * Theme.spacing.md
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
