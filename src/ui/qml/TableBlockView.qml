pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// A table in a rounded outline: a tinted header row, then the data rows, cells of one row sharing
// its width equally.
Rectangle {
    id: root

    property var headers: []
    property var rows: []
    property bool isUser

    readonly property color lineColor: isUser ? Qt.rgba(1, 1, 1, 0.2) : Theme.colors.border
    readonly property color textColor: isUser ? Theme.colors.textOnAccent : Theme.colors.text

    implicitHeight: body.implicitHeight
    radius: 8
    color: "transparent"
    border.width: 1
    border.color: lineColor
    clip: true

    component TableRow: Row {
        id: tableRow

        property var cells: []
        property bool isHeader

        Repeater {
            model: tableRow.cells

            delegate: Row {
                id: cell

                required property int index
                required property string modelData

                Text {
                    width: tableRow.cells.length > 0 ? (tableRow.width - (tableRow.cells.length - 1)) / tableRow.cells.length : 0
                    leftPadding: 8
                    rightPadding: 8
                    topPadding: 4
                    bottomPadding: 4
                    text: cell.modelData
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    // A table of very many columns leaves slivers of width; their text stays short.
                    maximumLineCount: 8
                    elide: Text.ElideRight
                    font.pixelSize: Theme.typography.caption.pixelSize
                    font.weight: tableRow.isHeader ? Font.DemiBold : Font.Normal
                    color: root.textColor
                }

                Rectangle {
                    visible: cell.index < tableRow.cells.length - 1
                    width: 1
                    height: parent.height
                    color: root.lineColor
                }
            }
        }
    }

    Column {
        id: body

        width: parent.width

        Rectangle {
            width: parent.width
            height: header.implicitHeight
            color: root.isUser ? Qt.rgba(1, 1, 1, 0.1) : Theme.colors.backgroundSecondary

            TableRow {
                id: header

                width: parent.width
                cells: root.headers
                isHeader: true
            }
        }

        Rectangle {
            width: parent.width
            height: 1
            color: root.lineColor
        }

        Repeater {
            model: root.rows

            delegate: Column {
                id: dataRow

                required property int index
                required property var modelData

                width: body.width

                TableRow {
                    width: parent.width
                    cells: dataRow.modelData
                }

                Rectangle {
                    visible: dataRow.index < root.rows.length - 1
                    width: parent.width
                    height: 1
                    color: root.lineColor
                }
            }
        }
    }
}
