pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// The dots under a reply while it is being written, on their own bubble.
MessageRow {
    id: root

    required isFirstPiece

    Rectangle {
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
