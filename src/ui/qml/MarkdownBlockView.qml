pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// One block of a message text, drawn by its kind. Paragraphs take the width their text needs up
// to `availableWidth`; code blocks and tables take all of it.
Item {
    id: root

    property string kind
    property string text
    property var items: []
    property var headers: []
    property var rows: []
    property bool isUser
    property real availableWidth: 300
    property bool hugs
    // A part of a longer block: the number of its first item, the code its copy button copies
    // and whether it continues the part before, which carries the button.
    property int firstNumber: 1
    property string wholeCode: text
    property bool isContinuation

    implicitWidth: measure.count > 0 ? Math.min(Math.ceil(measure.itemAt(0).implicitWidth), availableWidth) : availableWidth
    implicitHeight: content.implicitHeight

    // The text's width without wrapping, measured apart from the wrapped text, whose size
    // follows the width it is given. A text of more characters than a line holds at two pixels
    // each fills the bubble anyway, and is not laid out all on one line again to measure it.
    Repeater {
        id: measure

        model: root.hugs && root.kind === "paragraph" && paragraph.length < root.availableWidth / 2 ? 1 : 0

        delegate: Text {
            visible: false
            Accessible.ignored: true
            text: root.text
            textFormat: Text.RichText
            font: Theme.typography.body
        }
    }

    // Paragraphs are most blocks of a reply and are drawn directly; the rarer kinds are made only
    // for blocks of their kind.
    Column {
        id: content

        width: root.width

        ParagraphBlockView {
            id: paragraph

            objectName: "paragraph"
            visible: root.kind === "paragraph"
            width: content.width
            text: visible ? root.text : ""
            isUser: root.isUser
        }

        Repeater {
            model: root.kind === "code" ? 1 : 0

            delegate: CodeBlockView {
                width: content.width
                code: root.text
                copiedCode: root.wholeCode
                canCopy: !root.isContinuation
                isUser: root.isUser
            }
        }

        Repeater {
            model: root.kind === "table" ? 1 : 0

            delegate: TableBlockView {
                width: content.width
                headers: root.headers
                rows: root.rows
                isUser: root.isUser
            }
        }

        Repeater {
            model: root.kind === "bulletList" || root.kind === "numberedList" ? 1 : 0

            delegate: ListBlockView {
                width: content.width
                items: root.items
                numbered: root.kind === "numberedList"
                firstNumber: root.firstNumber
                isUser: root.isUser
            }
        }
    }
}
