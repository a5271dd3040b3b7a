pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// The dots under a reply while it is being written, on their own bubble.
MessageRow {
    id: root

    required isFirstPiece

    Rectangle {
        objectName: "typingBubble"
        width: typing.implicitWidth + 2 * Theme.spacing.md
        height: typing.implicitHeight + 2 * Theme.spacing.sm
        radius: Theme.cornerRadius.md
        color: Theme.colors.assistantBubble

        TypingIndicatorView {
            id: typing

            x: Theme.spacing.md
            y: Theme.spacing.sm
        }
    }
}
