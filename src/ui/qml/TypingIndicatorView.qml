pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// Three dots; the raised one bobs up and down while the assistant is writing.
Row {
    id: root

    property int animationPhase: 0
    property int dotCount: 3
    property real dotSize: 8
    property real animationDuration: 0.6

    spacing: Theme.spacing.xs
    topPadding: Theme.spacing.xs
    bottomPadding: Theme.spacing.xs
    Accessible.role: Accessible.Indicator
    Accessible.name: qsTr("Vessa is writing")
    // Hidden, as when its reply has finished, it is not there for a screen reader either.
    Accessible.ignored: !visible
    Component.onCompleted: animationPhase = dotCount - 1

    Repeater {
        model: root.dotCount

        delegate: Rectangle {
            id: dot

            required property int index

            width: root.dotSize
            height: root.dotSize
            radius: root.dotSize / 2
            color: Theme.colors.textSecondary

            transform: Translate {
                id: shift
            }

            SequentialAnimation {
                running: root.animationPhase === dot.index && root.visible

                PauseAnimation {
                    duration: dot.index * 150
                }
                SequentialAnimation {
                    loops: Animation.Infinite

                    NumberAnimation {
                        target: shift
                        property: "y"
                        from: 0
                        to: -4
                        duration: root.animationDuration * 500
                        easing.type: Easing.InOutQuad
                    }
                    NumberAnimation {
                        target: shift
                        property: "y"
                        from: -4
                        to: 0
                        duration: root.animationDuration * 500
                        easing.type: Easing.InOutQuad
                    }
                }
            }
        }
    }
}
