pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// A bullet or numbered list; numbered lists count from 1 (or from the first number of a part of
// a long list) with their periods aligned.
Column {
    id: root

    property var items: []
    property bool numbered
    property int firstNumber: 1
    property bool isUser

    spacing: Theme.spacing.xs

    Repeater {
        model: root.items

        delegate: Row {
            id: item

            required property int index
            required property string modelData

            width: root.width
            spacing: Theme.spacing.sm

            Text {
                id: marker

                width: root.numbered ? Math.max(20, implicitWidth) : implicitWidth
                horizontalAlignment: Text.AlignRight
                text: root.numbered ? (root.firstNumber + item.index) + "." : "•"
                font: Theme.typography.body
                color: root.isUser ? Qt.rgba(1, 1, 1, 0.8) : Theme.colors.textSecondary
                Accessible.ignored: true
            }

            ParagraphBlockView {
                width: item.width - marker.width - item.spacing
                text: item.modelData
                isUser: root.isUser
            }
        }
    }
}
