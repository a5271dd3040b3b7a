pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// The button under a finished reply that copies its text.
MessageRow {
    id: root

    required property string content

    CopyButton {
        objectName: "copyReply"
        copiedText: root.content
        toolTip: qsTr("Copy reply")
        Accessible.ignored: !visible
    }
}
