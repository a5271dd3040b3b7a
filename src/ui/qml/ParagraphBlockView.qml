pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// Inline-formatted, selectable text of a paragraph or a list item. Only http, https and mailto
// links open, in the desktop's browser or mail client.
TextEdit {
    id: root

    property bool isUser

    readOnly: true
    selectByMouse: true
    persistentSelection: true
    textFormat: TextEdit.RichText
    wrapMode: TextEdit.Wrap
    font: Theme.typography.body
    color: isUser ? Theme.colors.textOnAccent : Theme.colors.text
    selectionColor: isUser ? Qt.rgba(1, 1, 1, 0.35) : Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.35)
    selectedTextColor: color
    activeFocusOnTab: false
    Accessible.role: Accessible.StaticText
    Accessible.name: getText(0, length)
    Accessible.ignored: !visible
    onLinkActivated: link => DesktopActions.openLink(link)

    HoverHandler {
        cursorShape: root.hoveredLink.length > 0 ? Qt.PointingHandCursor : Qt.IBeamCursor
    }
}
