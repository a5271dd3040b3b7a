pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// A whole message text drawn block by block, for texts shown in one piece (the user's own).
Item {
    id: root

    property string content
    property bool isUser
    property real availableWidth: 300

    implicitWidth: {
        let widest = 0;
        for (let i = 0; i < blocks.count; ++i)
            widest = Math.max(widest, blocks.itemAt(i).implicitWidth);
        return Math.min(widest, availableWidth);
    }
    implicitHeight: column.implicitHeight

    Column {
        id: column

        width: root.width
        spacing: Theme.spacing.sm

        Repeater {
            id: blocks

            model: MarkdownBlockModel {
                content: root.content
                isUser: root.isUser
            }

            delegate: MarkdownBlockView {
                required kind
                required text
                required items
                required headers
                required rows

                width: root.width
                availableWidth: root.availableWidth
                hugs: true
                isUser: root.isUser
            }
        }
    }
}
