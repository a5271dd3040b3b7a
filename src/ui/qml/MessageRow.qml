pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// One row of a message in the chat, whatever its kind: the user's rows hug the right edge, the
// assistant's sit right of its avatar, which the message's first row carries. Messages are 16
// apart and the rows of one message 8; a kind may draw its rows closer.
Item {
    id: root

    property bool isUser
    property bool isFirstPiece
    property bool showsAvatar: !isUser && isFirstPiece
    // Space above the row.
    property real gap: isFirstPiece ? Theme.spacing.lg : Theme.spacing.sm
    // The widest the content may grow, and where it starts.
    readonly property real contentWidth: isUser ? width - 2 * Theme.spacing.md - Theme.spacing.xl : width - 2 * Theme.spacing.md - 24 - 2 * Theme.spacing.sm
    readonly property real contentX: isUser ? Theme.spacing.md + Theme.spacing.xl : Theme.spacing.md + 24 + Theme.spacing.sm
    default property alias rowItems: body.data
    property bool isPooled: false

    width: ListView.view?.width ?? implicitWidth
    implicitHeight: gap + body.implicitHeight
    height: implicitHeight
    // A row the list keeps for reuse is hidden until it is reused, so that no screen reader reads
    // it out. Hiding and showing again lays a row out anew, which only a screen reader needs.
    visible: !(isPooled && ScreenReader.isActive)
    ListView.onPooled: isPooled = true
    ListView.onReused: isPooled = false

    // Drawn through a layer that holds its shadow too: the software renderer does not clip
    // shapes to the list, and an avatar scrolled under the header would show on top of it. On a
    // scaled screen that renderer's layers draw nothing, so there the avatar goes without one.
    Item {
        visible: root.showsAvatar
        x: Theme.spacing.md - avatar.size * 0.1
        y: root.gap - avatar.size * 0.1
        width: avatar.size * 1.2
        height: avatar.size * 1.3
        layer.enabled: visible && (Screen.devicePixelRatio === 1
                                   || GraphicsInfo.api !== GraphicsInfo.Software)

        VessaAvatarView {
            id: avatar

            x: size * 0.1
            y: size * 0.1
            size: 24
        }
    }

    Column {
        id: body

        x: root.contentX
        y: root.gap
        width: root.contentWidth
    }
}
