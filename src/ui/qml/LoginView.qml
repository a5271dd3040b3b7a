pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vessa

// The screen of a user who is not signed in: what Vessa does, and the button that signs in
// through the browser.
Rectangle {
    id: root

    color: Theme.colors.backgroundRoot

    LoginViewController {
        id: controller
    }

    component FeatureRow: RowLayout {
        id: featureRow

        property string symbol
        property string title
        property string detail

        spacing: Theme.spacing.md

        Item {
            implicitWidth: 24
            implicitHeight: 20

            SymbolIcon {
                anchors.centerIn: parent
                width: 20
                height: 20
                name: featureRow.symbol
                color: Theme.colors.accent
            }
        }

        Column {
            Layout.fillWidth: true
            spacing: 2

            Text {
                text: featureRow.title
                font.pixelSize: Theme.typography.subheadline.pixelSize
                font.weight: Font.Medium
                color: Theme.colors.text
            }

            Text {
                text: featureRow.detail
                font: Theme.typography.caption
                color: Theme.colors.textSecondary
            }
        }
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: Theme.spacing.xxl
        anchors.rightMargin: Theme.spacing.xxl
        spacing: Theme.spacing.xxl

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: Theme.spacing.md

            VessaAvatarView {
                Layout.alignment: Qt.AlignHCenter
                size: 80
            }

            Text {
                Layout.alignment: Qt.AlignHCenter
                text: "Vessa"
                font: Theme.typography.title
                color: Theme.colors.text
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }

            Text {
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Your personal AI assistant")
                font: Theme.typography.subheadline
                color: Theme.colors.textSecondary
            }
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.leftMargin: Theme.spacing.md
            Layout.rightMargin: Theme.spacing.md
            spacing: Theme.spacing.md

            FeatureRow {
                symbol: "message.fill"
                title: qsTr("Chat with Claude")
                detail: qsTr("Have natural conversations")
            }
            FeatureRow {
                symbol: "fork.knife"
                title: qsTr("Track Meals")
                detail: qsTr("Log calories and nutrition")
            }
            FeatureRow {
                symbol: "checkmark.circle.fill"
                title: qsTr("Manage Tasks")
                detail: qsTr("Keep track of your todos")
            }
            FeatureRow {
                symbol: "brain.head.profile"
                title: qsTr("Personal Memory")
                detail: qsTr("Vessa remembers you")
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing.xs

            AbstractButton {
                id: signInButton

                objectName: "signInButton"
                Layout.fillWidth: true
                implicitHeight: 44
                enabled: !AuthService.isLoading
                focusPolicy: Qt.StrongFocus
                focus: true
                Accessible.name: qsTr("Sign in to Vessa")
                onClicked: controller.signIn()

                background: Rectangle {
                    radius: Theme.cornerRadius.sm
                    color: Theme.colors.accent
                    border.width: signInButton.visualFocus ? 2 : 0
                    border.color: Theme.colors.text
                }

                contentItem: Item {
                    BusyIndicator {
                        objectName: "signInProgress"
                        anchors.centerIn: parent
                        width: 22
                        height: 22
                        running: AuthService.isLoading
                        visible: running
                        palette.dark: Theme.colors.textOnAccent
                    }

                    Text {
                        anchors.centerIn: parent
                        visible: !AuthService.isLoading
                        text: qsTr("Sign in to Vessa")
                        font: Theme.typography.headline
                        color: Theme.colors.textOnAccent
                    }
                }
            }

            // The browser cannot tell us that its tab was closed; this is the way out of the wait.
            AbstractButton {
                id: cancelButton

                objectName: "cancelSignInButton"
                Layout.alignment: Qt.AlignHCenter
                visible: AuthService.isAwaitingCallback
                focusPolicy: Qt.StrongFocus
                Accessible.name: qsTr("Cancel")
                padding: Theme.spacing.xs
                onClicked: controller.cancelSignIn()

                contentItem: Text {
                    text: qsTr("Cancel")
                    font.pixelSize: Theme.typography.subheadline.pixelSize
                    font.underline: cancelButton.visualFocus
                    color: Theme.colors.accent
                }
            }
        }

        Text {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: qsTr("By signing in, you agree to our Terms of Service")
            wrapMode: Text.Wrap
            font: Theme.typography.caption
            color: Theme.colors.textSecondary
        }
    }

    ErrorAlert {
        alert: controller.alert
        title: qsTr("Sign In Error")
        // The sign-in button is what the user tries next.
        onClosed: signInButton.forceActiveFocus()
    }
}
