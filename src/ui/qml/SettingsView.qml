pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vessa

// The account, the version and the assistant's name, and signing out.
Rectangle {
    id: root

    signal dismiss

    color: Theme.colors.backgroundRoot

    SettingsViewController {
        id: controller

        onDismissRequested: root.dismiss()
    }

    component Caption: Text {
        leftPadding: Theme.spacing.md
        font: Theme.typography.caption
        color: Theme.colors.textSecondary
    }

    component Divider: Rectangle {
        Layout.fillWidth: true
        Layout.leftMargin: Theme.spacing.md
        Layout.rightMargin: Theme.spacing.md
        implicitHeight: 1
        color: Theme.colors.border
    }

    component AboutRow: RowLayout {
        id: aboutRow

        property string label
        property string value

        Layout.fillWidth: true
        Layout.margins: Theme.spacing.md

        Text {
            Layout.fillWidth: true
            Layout.minimumWidth: implicitWidth
            text: aboutRow.label
            font: Theme.typography.body
            color: Theme.colors.text
        }

        Text {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignRight
            text: aboutRow.value
            textFormat: Text.PlainText
            elide: Text.ElideRight
            font: Theme.typography.body
            color: Theme.colors.textSecondary
            Accessible.role: Accessible.StaticText
            Accessible.name: aboutRow.label + ": " + aboutRow.value
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 28 + 2 * Theme.spacing.sm
            color: Theme.colors.backgroundSecondary

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: Theme.spacing.md
                anchors.rightMargin: Theme.spacing.md
                anchors.topMargin: Theme.spacing.sm
                anchors.bottomMargin: Theme.spacing.sm

                AbstractButton {
                    id: closeButton

                    objectName: "closeSettingsButton"
                    implicitWidth: 28
                    implicitHeight: 28
                    focusPolicy: Qt.StrongFocus
                    hoverEnabled: true
                    Accessible.name: qsTr("Close")
                    ToolTip.visible: hovered
                    ToolTip.text: qsTr("Close")
                    ToolTip.delay: 600
                    onClicked: root.dismiss()

                    background: Rectangle {
                        radius: 14
                        color: Theme.colors.backgroundDefault
                        border.width: closeButton.visualFocus ? 2 : 0
                        border.color: Theme.colors.accent
                    }

                    contentItem: Item {
                        SymbolIcon {
                            anchors.centerIn: parent
                            width: 12
                            height: 12
                            name: "xmark"
                            color: Theme.colors.textSecondary
                        }
                    }
                }

                Text {
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTr("Settings")
                    font: Theme.typography.headline
                    color: Theme.colors.text
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }

                Item {
                    implicitWidth: 28
                    implicitHeight: 28
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.colors.border
        }

        Flickable {
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentHeight: sections.implicitHeight + 2 * Theme.spacing.md
            clip: true
            boundsBehavior: Flickable.StopAtBounds

            ColumnLayout {
                id: sections

                y: Theme.spacing.md
                width: parent.width
                spacing: Theme.spacing.md

                ColumnLayout {
                    objectName: "accountSection"
                    visible: controller.hasAccount
                    Layout.fillWidth: true
                    spacing: Theme.spacing.sm

                    Caption {
                        text: qsTr("Account")
                    }

                    Rectangle {
                        Layout.fillWidth: true
                        Layout.leftMargin: Theme.spacing.md
                        Layout.rightMargin: Theme.spacing.md
                        implicitHeight: account.implicitHeight + 2 * Theme.spacing.md
                        radius: Theme.cornerRadius.sm
                        color: Theme.colors.backgroundDefault

                        Column {
                            id: account

                            x: Theme.spacing.md
                            y: Theme.spacing.md
                            width: parent.width - 2 * Theme.spacing.md
                            spacing: 2

                            Text {
                                objectName: "accountName"
                                visible: controller.accountName.length > 0
                                width: parent.width
                                text: controller.accountName
                                textFormat: Text.PlainText
                                elide: Text.ElideRight
                                font: Theme.typography.body
                                color: Theme.colors.text
                            }

                            Text {
                                objectName: "accountEmail"
                                width: parent.width
                                text: controller.accountEmail
                                textFormat: Text.PlainText
                                elide: Text.ElideRight
                                font: Theme.typography.subheadline
                                color: Theme.colors.textSecondary
                            }
                        }
                    }
                }

                Divider {
                    visible: controller.hasAccount
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: Theme.spacing.sm

                    Caption {
                        text: qsTr("About")
                    }

                    Rectangle {
                        Layout.fillWidth: true
                        Layout.leftMargin: Theme.spacing.md
                        Layout.rightMargin: Theme.spacing.md
                        implicitHeight: about.implicitHeight
                        radius: Theme.cornerRadius.sm
                        color: Theme.colors.backgroundDefault

                        ColumnLayout {
                            id: about

                            width: parent.width
                            spacing: 0

                            AboutRow {
                                label: qsTr("Version")
                                value: controller.version
                            }

                            Rectangle {
                                Layout.fillWidth: true
                                Layout.leftMargin: Theme.spacing.md
                                implicitHeight: 1
                                color: Theme.colors.border
                            }

                            AboutRow {
                                label: qsTr("AI Assistant")
                                value: AuthService.aiName
                            }
                        }
                    }
                }

                Divider {}

                AbstractButton {
                    id: signOutButton

                    objectName: "signOutButton"
                    Layout.fillWidth: true
                    Layout.leftMargin: Theme.spacing.md
                    Layout.rightMargin: Theme.spacing.md
                    enabled: !controller.isLoggingOut
                    focusPolicy: Qt.StrongFocus
                    padding: Theme.spacing.md
                    Accessible.name: qsTr("Sign Out")
                    onClicked: controller.signOut()

                    background: Rectangle {
                        radius: Theme.cornerRadius.sm
                        color: Theme.colors.backgroundDefault
                        border.width: signOutButton.visualFocus ? 2 : 0
                        border.color: Theme.colors.error
                    }

                    contentItem: Item {
                        implicitHeight: 20

                        Row {
                            anchors.centerIn: parent
                            spacing: 6

                            BusyIndicator {
                                width: 16
                                height: 16
                                running: controller.isLoggingOut
                                visible: running
                            }

                            SymbolIcon {
                                anchors.verticalCenter: parent.verticalCenter
                                visible: !controller.isLoggingOut
                                width: 14
                                height: 14
                                name: "rectangle.portrait.and.arrow.right"
                                color: Theme.colors.error
                            }

                            Text {
                                text: qsTr("Sign Out")
                                font: Theme.typography.body
                                color: Theme.colors.error
                            }
                        }
                    }
                }
            }
        }
    }
}
