pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// A bullet or numbered list; numbered lists always count from 1 with their periods aligned.
Column {
    id: root

    property var items: []
    property bool numbered
    property bool isUser

    spacing: 4

    Repeater {
        model: root.items

        delegate: Row {
            id: item

            required property int index
            required property string modelData

            width: root.width
            spacing: 8

            Text {
                id: marker

                width: root.numbered ? Math.max(20, implicitWidth) : implicitWidth
                horizontalAlignment: Text.AlignRight
                text: root.numbered ? (item.index + 1) + "." : "•"
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
