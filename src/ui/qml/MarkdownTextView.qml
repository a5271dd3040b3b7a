pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// A message text drawn block by block. Paragraphs take the width their text needs up to
// `availableWidth`; code blocks and tables take all of it.
Item {
    id: root

    property string content
    property bool isUser
    property real availableWidth: 300

    implicitWidth: {
        let widest = 0;
        for (let i = 0; i < column.children.length; ++i)
            widest = Math.max(widest, column.children[i].implicitWidth);
        return Math.min(widest, availableWidth);
    }
    implicitHeight: column.implicitHeight

    Column {
        id: column

        width: root.width
        spacing: 8

    Repeater {
        model: MarkdownBlockModel {
            content: root.content
            isUser: root.isUser
        }

        delegate: Item {
            id: block

            required property string kind
            required property string text
            required property var items
            required property var headers
            required property var rows

            width: root.width
            implicitWidth: kind === "paragraph" ? Math.min(paragraph.implicitWidth, root.availableWidth) : root.availableWidth
            implicitHeight: content.implicitHeight
            height: implicitHeight

            // Paragraphs are most blocks of a reply and are drawn directly; the rarer kinds are
            // made only for blocks of their kind.
            Column {
                id: content

                width: block.width

                ParagraphBlockView {
                    id: paragraph

                    objectName: "paragraph"
                    visible: block.kind === "paragraph"
                    width: content.width
                    text: visible ? block.text : ""
                    isUser: root.isUser
                }

                Repeater {
                    model: block.kind === "code" ? 1 : 0

                    delegate: CodeBlockView {
                        width: content.width
                        code: block.text
                        isUser: root.isUser
                    }
                }

                Repeater {
                    model: block.kind === "table" ? 1 : 0

                    delegate: TableBlockView {
                        width: content.width
                        headers: block.headers
                        rows: block.rows
                        isUser: root.isUser
                    }
                }

                Repeater {
                    model: block.kind === "bulletList" || block.kind === "numberedList" ? 1 : 0

                    delegate: ListBlockView {
                        width: content.width
                        items: block.items
                        numbered: block.kind === "numberedList"
                        isUser: root.isUser
                    }
                }
            }
        }
    }
}
}
