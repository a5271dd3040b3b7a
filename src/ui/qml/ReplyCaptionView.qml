pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// A small line under a reply that ended before it was finished, saying why it stops there.
MessageRow {
    id: root

    required isFirstPiece
    required property string text

    gap: isFirstPiece ? Theme.spacing.lg : Theme.spacing.xs

    Text {
        objectName: "replyCaption"
        x: Theme.spacing.md
        width: root.contentWidth - 2 * Theme.spacing.md
        text: root.text
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font: Theme.typography.caption
        color: Theme.colors.textSecondary
        Accessible.role: Accessible.StaticText
        Accessible.name: text
        Accessible.ignored: !visible
    }
}
