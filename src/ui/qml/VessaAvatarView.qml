pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Shapes
import Vessa

// The assistant's round "V" avatar with its soft accent shadow.
Item {
    id: root

    property real size: 24

    implicitWidth: size
    implicitHeight: size
    Accessible.ignored: true

    // The shadow: a blurred accent circle a little below the avatar, drawn as a radial fade so
    // that it shows on every scene graph backend.
    Shape {
        x: -root.size * 0.1
        y: -root.size * 0.1 + root.size * 0.05
        width: root.size * 1.2
        height: root.size * 1.2

        ShapePath {
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: root.size * 0.6
                centerY: root.size * 0.6
                centerRadius: root.size * 0.6
                focalX: centerX
                focalY: centerY

                GradientStop {
                    position: 0.7
                    color: Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.3)
                }
                GradientStop {
                    position: 1
                    color: "transparent"
                }
            }

            PathAngleArc {
                centerX: root.size * 0.6
                centerY: root.size * 0.6
                radiusX: root.size * 0.6
                radiusY: root.size * 0.6
                sweepAngle: 360
            }
        }
    }

    Shape {
        anchors.fill: parent

        ShapePath {
            strokeColor: "transparent"
            fillGradient: LinearGradient {
                x1: 0
                y1: 0
                x2: root.size
                y2: root.size

                GradientStop {
                    position: 0
                    color: Theme.colors.accent
                }
                GradientStop {
                    position: 1
                    color: Qt.rgba(Theme.colors.accent.r, Theme.colors.accent.g, Theme.colors.accent.b, 0.8)
                }
            }

            PathAngleArc {
                centerX: root.size / 2
                centerY: root.size / 2
                radiusX: root.size / 2
                radiusY: root.size / 2
                sweepAngle: 360
            }
        }
    }

    Text {
        anchors.centerIn: parent
        text: "V"
        color: Theme.colors.textOnAccent
        font.pixelSize: root.size * 0.5
        font.bold: true
    }
}
