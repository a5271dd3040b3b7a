pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// The tools of an assistant's message, one card each, on one rounded panel. The cards are rows of
// a model that changes them in place, so a card keeps its delegate, and its model keeps whether
// it is expanded, while results and further tools arrive.
MessageRow {
    id: root

    required isFirstPiece
    required property ToolCallListModel toolCalls

    Rectangle {
        objectName: "toolGroup"
        width: root.contentWidth
        height: cards.implicitHeight
        radius: Theme.cornerRadius.md
        color: Theme.colors.backgroundSecondary
        clip: true

        Column {
            id: cards

            width: parent.width

            Repeater {
                model: root.toolCalls

                delegate: Column {
                    id: card

                    required property int index
                    required property var toolCall
                    required property bool isExpanded

                    width: cards.width

                    Rectangle {
                        visible: card.index > 0
                        x: Theme.spacing.md
                        width: parent.width - 2 * Theme.spacing.md
                        height: 1
                        color: Theme.colors.border
                    }

                    ExpandableToolCardView {
                        objectName: "toolCard"
                        width: parent.width
                        toolCall: card.toolCall
                        isExpanded: card.isExpanded
                        onToggled: root.toolCalls.setExpanded(card.index, !card.isExpanded)
                    }
                }
            }
        }
    }
}
