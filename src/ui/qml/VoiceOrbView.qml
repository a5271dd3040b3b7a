pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Shapes
import Vessa

// The voice screen's orb: three rings and a glowing core that swell with the voice being heard,
// the assistant's while it speaks and the user's while the microphone is on, and a symbol for the
// session's state.
Item {
    id: root

    property bool isListening
    property bool isSpeaking
    property bool isConnected
    property real inputLevel
    property real outputLevel
    property real baseSize: 120

    // The level everything swells with.
    readonly property real level: isSpeaking ? outputLevel : (isListening ? inputLevel : 0)
    // What the centre shows; "bars" are the three bars of a speaking assistant.
    readonly property string symbol: !isConnected ? "wifi.slash" : isSpeaking ? "bars" : isListening ? "waveform" : "mic.fill"
    readonly property color accent: Theme.colors.accent

    implicitWidth: baseSize * 1.8
    implicitHeight: baseSize * 1.8
    Accessible.ignored: true

    Repeater {
        model: 3

        // A path rather than a bordered Rectangle: scaled, a path stays sharp on the software
        // scene graph, and its stroke straddles the frame's edge as a stroked circle does.
        Shape {
            id: ring

            required property int index

            objectName: "ring" + index
            anchors.centerIn: parent
            width: root.baseSize + 20 * index
            height: width
            opacity: 0.3 - 0.08 * index + 0.2 * root.level
            scale: 1 + 0.3 * root.level * (index + 1)

            ShapePath {
                strokeColor: root.accent
                strokeWidth: 2 - 0.5 * ring.index
                fillColor: "transparent"

                PathAngleArc {
                    centerX: ring.width / 2
                    centerY: ring.width / 2
                    radiusX: ring.width / 2
                    radiusY: ring.width / 2
                    sweepAngle: 360
                }
            }
        }
    }

    Item {
        id: core

        readonly property real radius: root.baseSize * 0.3
        readonly property real shadowRadius: 16 + 16 * root.level
        readonly property real shadowOpacity: 0.4 + 0.3 * root.level

        objectName: "core"
        anchors.centerIn: parent
        width: root.baseSize * 0.6
        height: width
        scale: 1 + 0.15 * root.level

        // The glow: the core's disc blurred by shadowRadius, drawn as a radial fade so that it
        // shows on every scene graph backend.
        Shape {
            readonly property real outer: core.radius + core.shadowRadius

            x: core.radius - outer
            y: core.radius - outer
            width: outer * 2
            height: outer * 2

            ShapePath {
                strokeColor: "transparent"
                fillGradient: RadialGradient {
                    centerX: core.radius + core.shadowRadius
                    centerY: centerX
                    centerRadius: centerX
                    focalX: centerX
                    focalY: centerX

                    GradientStop {
                        position: (core.radius - core.shadowRadius / 2) / (core.radius + core.shadowRadius)
                        color: Qt.rgba(root.accent.r, root.accent.g, root.accent.b, core.shadowOpacity)
                    }
                    GradientStop {
                        position: core.radius / (core.radius + core.shadowRadius)
                        color: Qt.rgba(root.accent.r, root.accent.g, root.accent.b, core.shadowOpacity / 2)
                    }
                    GradientStop {
                        position: 1
                        color: Qt.rgba(root.accent.r, root.accent.g, root.accent.b, 0)
                    }
                }

                PathAngleArc {
                    centerX: core.radius + core.shadowRadius
                    centerY: centerX
                    radiusX: centerX
                    radiusY: centerX
                    sweepAngle: 360
                }
            }
        }

        // Light from the top-leading corner.
        Shape {
            anchors.fill: parent

            ShapePath {
                strokeColor: "transparent"
                fillGradient: RadialGradient {
                    centerX: 0
                    centerY: 0
                    centerRadius: root.baseSize * 0.5
                    focalX: 0
                    focalY: 0

                    GradientStop {
                        position: 0
                        color: Qt.rgba(root.accent.r, root.accent.g, root.accent.b, 0.9)
                    }
                    GradientStop {
                        position: 1
                        color: root.accent
                    }
                }

                PathAngleArc {
                    centerX: core.radius
                    centerY: core.radius
                    radiusX: core.radius
                    radiusY: core.radius
                    sweepAngle: 360
                }
            }
        }
    }

    SymbolIcon {
        objectName: "orbSymbol"
        anchors.centerIn: parent
        width: 24
        height: 24
        visible: root.symbol !== "bars"
        name: root.symbol === "bars" ? "" : root.symbol
        color: "white"
        opacity: root.symbol === "waveform" ? 1 : 0.8
    }

    Row {
        id: bars

        // The tallest a bar grows.
        readonly property real tallest: 6 + 16 * 1.5

        objectName: "speakingBars"
        anchors.centerIn: parent
        height: tallest
        spacing: 3
        visible: root.symbol === "bars"

        Repeater {
            model: [1.0, 1.5, 0.8]

            Rectangle {
                required property real modelData

                y: (bars.tallest - height) / 2
                width: 3
                height: 6 + 16 * root.level * modelData
                radius: 2
                color: "white"
                antialiasing: true
            }
        }
    }
}
