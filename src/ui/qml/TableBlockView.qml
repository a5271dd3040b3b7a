pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import Vessa

// A table in a rounded outline: a tinted header row, then the data rows. Every cell shows its
// whole text, which can be selected and copied. A table that fits shares each row's width equally
// among its cells; one whose columns would be squeezed so keeps each column at its natural width
// and scrolls sideways.
Rectangle {
    id: root

    property var headers: []
    property var rows: []
    property bool isUser

    readonly property color lineColor: isUser ? Qt.rgba(1, 1, 1, 0.2) : Theme.colors.border
    readonly property color textColor: isUser ? Theme.colors.textOnAccent : Theme.colors.text
    // A column grows to its widest cell up to this width; longer text wraps.
    readonly property real widestColumn: 240
    // Each column's natural width: its widest cell on one line, header included.
    readonly property var columnWidths: {
        const widths = [];
        const widen = (cells, metrics) => {
            for (let i = 0; i < cells.length; ++i) {
                const natural = Math.ceil(metrics.advanceWidth(cells[i])) + 2 * Theme.spacing.sm + 1;
                widths[i] = Math.min(widestColumn, Math.max(widths[i] ?? 0, natural));
            }
        };
        widen(headers, headerMetrics);
        for (const row of rows)
            widen(row, cellMetrics);
        return widths;
    }
    readonly property real naturalWidth: columnWidths.reduce((sum, width) => sum + width, 0) + Math.max(0, columnWidths.length - 1)
    // What each column needs so as not to be squeezed: its text on one line, or this much for
    // longer text, which wraps.
    readonly property real narrowestColumn: 96
    readonly property real neededShare: columnWidths.reduce((needed, width) => Math.max(needed, Math.min(width, narrowestColumn)), 0)
    // An equal share of the width would squeeze some column.
    readonly property bool squeezesEqually: columnWidths.length > 0 && (width - (columnWidths.length - 1)) / columnWidths.length < neededShare
    // Scrolls only when the columns at their natural widths do not fit either; when they do, each
    // keeps its natural width and the spare width is shared out.
    readonly property bool scrolls: squeezesEqually && naturalWidth > width
    readonly property real spareShare: squeezesEqually && !scrolls ? (width - naturalWidth) / columnWidths.length : 0

    implicitHeight: scroller.height
    radius: Theme.cornerRadius.xs
    color: "transparent"
    border.width: 1
    border.color: lineColor
    clip: true
    Accessible.role: Accessible.Table
    Accessible.ignored: !visible

    FontMetrics {
        id: headerMetrics

        font.pixelSize: Theme.typography.caption.pixelSize
        font.weight: Font.DemiBold
    }

    FontMetrics {
        id: cellMetrics

        font.pixelSize: Theme.typography.caption.pixelSize
    }

    // The width of cell `index` of a row of `count` cells: where an equal share would squeeze,
    // each column keeps its natural width (with its share of any spare width) and a row's last
    // cell takes the rest; otherwise the cells of a row share its width. Cells are 1 apart, where
    // the column lines are.
    function cellWidth(index, count, rowWidth) {
        if (!squeezesEqually)
            return (rowWidth - (count - 1)) / count;
        if (index < count - 1)
            return columnWidths[index] + spareShare;
        let used = 0;
        for (let i = 0; i < count - 1; ++i)
            used += columnWidths[i] + spareShare + 1;
        return rowWidth - used;
    }

    // The natural widths summed up to each column, so that a column line finds its place at once.
    readonly property var columnEnds: {
        const ends = [0];
        for (const width of columnWidths)
            ends.push(ends[ends.length - 1] + width);
        return ends;
    }

    // Where the line after cell `index` of a row of `count` cells lies: after the cells before it
    // and their lines.
    function lineX(index, count, rowWidth) {
        if (!squeezesEqually)
            return (index + 1) * ((rowWidth - (count - 1)) / count + 1) - 1;
        return columnEnds[index + 1] + (index + 1) * (spareShare + 1) - 1;
    }

    // Keeps one slot per data row: slots are added and removed as the rows change, never all made
    // again.
    function countRows() {
        while (rowSlots.count < rows.length)
            rowSlots.append({});
        while (rowSlots.count > rows.length)
            rowSlots.remove(rowSlots.count - 1);
    }

    onRowsChanged: countRows()
    Component.onCompleted: countRows()

    ListModel {
        id: rowSlots
    }

    component TableRow: Item {
        id: tableRow

        // The row's texts as handed over. Its cells are made again only when the texts change, so
        // that a table that grows while its reply streams keeps its cells and their selection.
        property var texts: []
        property var cells: []
        property bool isHeader

        function takeTexts() {
            if (JSON.stringify(texts) !== JSON.stringify(cells))
                cells = texts;
        }

        implicitHeight: cellRow.implicitHeight
        onTextsChanged: takeTexts()
        Component.onCompleted: takeTexts()
        Accessible.role: Accessible.Row
        Accessible.ignored: !visible

        Row {
            id: cellRow

            spacing: 1

            Repeater {
                model: tableRow.cells

                delegate: TextEdit {
                    id: cell

                    required property int index
                    required property string modelData

                    objectName: "tableCell"
                    width: root.cellWidth(index, tableRow.cells.length, tableRow.width)
                    leftPadding: Theme.spacing.sm
                    rightPadding: Theme.spacing.sm
                    topPadding: Theme.spacing.xs
                    bottomPadding: Theme.spacing.xs
                    text: modelData
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    readOnly: true
                    selectByMouse: true
                    persistentSelection: true
                    activeFocusOnTab: false
                    font.pixelSize: Theme.typography.caption.pixelSize
                    font.weight: tableRow.isHeader ? Font.DemiBold : Font.Normal
                    color: root.textColor
                    selectionColor: root.isUser ? Qt.rgba(1, 1, 1, 0.35) : Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.35)
                    selectedTextColor: color
                    Accessible.role: tableRow.isHeader ? Accessible.ColumnHeader : Accessible.Cell
                    Accessible.name: text
                    Accessible.ignored: !visible
                }
            }
        }

        // The column lines, as tall as the row's tallest cell.
        Repeater {
            model: Math.max(0, tableRow.cells.length - 1)

            delegate: Rectangle {
                required property int index

                x: root.lineX(index, tableRow.cells.length, tableRow.width)
                width: 1
                height: tableRow.height
                color: root.lineColor
            }
        }
    }

    Flickable {
        id: scroller

        objectName: "tableScroller"
        width: parent.width
        height: body.implicitHeight + (root.scrolls ? sideways.height : 0)
        contentWidth: body.width
        contentHeight: body.implicitHeight
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        interactive: root.scrolls
        ScrollBar.horizontal: ScrollBar {
            id: sideways

            policy: root.scrolls ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            Accessible.ignored: !visible
        }

        Column {
            id: body

            width: root.scrolls ? root.naturalWidth : scroller.width

            Rectangle {
                width: parent.width
                height: header.implicitHeight
                color: root.isUser ? Qt.rgba(1, 1, 1, 0.1) : Theme.colors.backgroundSecondary

                TableRow {
                    id: header

                    width: parent.width
                    texts: root.headers
                    isHeader: true
                }
            }

            Rectangle {
                width: parent.width
                height: 1
                color: root.lineColor
            }

            Repeater {
                model: rowSlots

                delegate: Column {
                    id: dataRow

                    required property int index

                    width: body.width

                    TableRow {
                        width: parent.width
                        texts: root.rows[dataRow.index] ?? []
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
}
