pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vessa

// The signed-in user's screen: the chat, with the voice chat or the settings laid over it while
// chosen. The chat stays underneath with all its state, and its reply keeps streaming while it is
// hidden.
Item {
    id: root

    // The screen's state; a controller of the shared services unless one is handed in.
    property ChatViewController controller: ChatViewController {}

    implicitWidth: 400
    implicitHeight: 600
    Component.onCompleted: {
        root.controller.appear();
        // Whoever opens the chat means to type.
        input.takeFocus();
    }

    // Scrolls once the list has laid out what changed, not before.
    Timer {
        id: scrollLater

        interval: 0
        onTriggered: messageList.positionAtEnd()
    }

    Connections {
        target: root.controller

        function onScrollToBottomRequested() {
            scrollLater.restart();
        }

        function onReplyFinished(text) {
            announcement.announce(text);
        }

        // Back from a screen laid over it, the keyboard returns to the input row.
        function onCurrentScreenChanged() {
            if (root.controller.isShowingChat)
                input.takeFocus();
        }
    }

    // The microphone is on only while the voice chat can be seen: hiding the window ends its
    // session, and the next showing opens the chat.
    Connections {
        target: root.Window.window

        function onVisibleChanged() {
            if (!root.Window.window.visible && root.controller.isShowingVoiceChat)
                root.controller.showChat();
        }
    }

    Rectangle {
        id: chatLayer

        anchors.fill: parent
        color: Theme.colors.backgroundRoot
        visible: root.controller.isShowingChat

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            Rectangle {
                Layout.fillWidth: true
                implicitHeight: header.implicitHeight + 2 * Theme.spacing.sm
                color: Theme.colors.backgroundDefault

                RowLayout {
                    id: header

                    anchors.fill: parent
                    anchors.leftMargin: Theme.spacing.md
                    anchors.rightMargin: Theme.spacing.md
                    anchors.topMargin: Theme.spacing.sm
                    anchors.bottomMargin: Theme.spacing.sm

                    SymbolButton {
                        objectName: "newConversationButton"
                        symbol: "square.and.pencil"
                        toolTip: qsTr("New Conversation")
                        onClicked: root.controller.newConversation()
                    }

                    Text {
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignHCenter
                        text: AuthService.aiName
                        textFormat: Text.PlainText
                        elide: Text.ElideRight
                        font: Theme.typography.headline
                        color: Theme.colors.text
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                    }

                    SymbolButton {
                        objectName: "settingsButton"
                        symbol: "gearshape"
                        toolTip: qsTr("Settings")
                        onClicked: root.controller.showSettings()
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                implicitHeight: 1
                color: Theme.colors.border
            }

            ListView {
                id: messageList

                objectName: "messageList"
                // Set while this view moves itself, so that only the user's scrolling changes
                // whether the list follows the reply.
                property bool isScrollingItself: false

                function positionAtEnd() {
                    isScrollingItself = true;
                    positionViewAtEnd();
                    isScrollingItself = false;
                }

                Layout.fillWidth: true
                Layout.fillHeight: true
                visible: root.controller.hasMessages
                model: root.controller.messages
                topMargin: Theme.spacing.md - Theme.spacing.lg
                bottomMargin: Theme.spacing.md
                clip: true
                reuseItems: true
                cacheBuffer: 1200
                currentIndex: -1
                boundsBehavior: Flickable.StopAtBounds
                activeFocusOnTab: false
                Accessible.role: Accessible.List
                Accessible.name: qsTr("Conversation")
                // Hidden while the conversation is empty, and then not there for a screen reader.
                Accessible.ignored: !visible
                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AsNeeded
                    Accessible.ignored: !visible
                }
                onContentYChanged: {
                    if (!isScrollingItself)
                        root.controller.isFollowing = atYEnd || contentHeight <= height;
                }

                // Retrying takes the Retry row away: the keyboard goes back to the message field.
                delegate: MessageBubbleView {
                    onRetry: {
                        root.controller.retry();
                        input.takeFocus();
                    }
                }

                // Long paragraphs are cut where their lines start at the width a reply's rows
                // lay them out at (MessageRow, ReplyBlockView): the list's, less its margins, the
                // avatar and the space after it, the space kept free at the end and the bubble's
                // padding.
                Binding {
                    target: root.controller.messages
                    property: "textWidth"
                    value: messageList.width - 2 * Theme.spacing.md - 24 - 2 * Theme.spacing.sm - 2 * Theme.spacing.md
                }
            }

            Flickable {
                Layout.fillWidth: true
                Layout.fillHeight: true
                visible: !root.controller.hasMessages
                contentHeight: emptyState.implicitHeight
                clip: true
                boundsBehavior: Flickable.StopAtBounds

                EmptyStateView {
                    id: emptyState

                    width: parent.width
                    onQuickAction: text => root.controller.quickAction(text)
                }
            }

            ChatInputView {
                id: input

                Layout.fillWidth: true
                text: root.controller.inputText
                isLoading: root.controller.isStreaming
                hasVoiceChat: true
                onTextEdited: text => root.controller.inputText = text
                onSend: root.controller.send()
                onStop: root.controller.stop()
                onVoiceChat: root.controller.showVoiceChat()
            }
        }
    }

    // The screens laid over the chat exist only while chosen: each showing is made anew, so each
    // voice chat has a session of its own, which ends when the screen goes. Repeaters rather than
    // Loaders, because Qt 6.4's Loader refuses the components of a file whose components are bound.
    Repeater {
        objectName: "voiceChatLayer"
        model: root.controller.isShowingVoiceChat ? 1 : 0

        VoiceChatView {
            width: root.width
            height: root.height
            onDismiss: root.controller.showChat()
        }
    }

    Repeater {
        objectName: "settingsLayer"
        model: root.controller.isShowingSettings ? 1 : 0

        SettingsView {
            width: root.width
            height: root.height
            onDismiss: root.controller.showChat()
        }
    }

    // Closed, the alert hands the keyboard back to the message field: the user types next. Over
    // another screen the field is hidden; coming back to the chat gives it the keyboard.
    ErrorAlert {
        objectName: "chatErrorAlert"
        alert: root.controller.alert
        title: qsTr("Error")
        onClosed: {
            if (root.controller.isShowingChat)
                input.takeFocus();
        }
    }

    // Tells screen readers that a reply has finished, with its text: showing it again is what they
    // hear of. There is nothing to tell before the first reply.
    Item {
        id: announcement

        function announce(text) {
            announcement.Accessible.name = text;
            announcement.Accessible.ignored = false;
            visible = false;
            visible = true;
        }

        visible: false
        Accessible.role: Accessible.AlertMessage
        Accessible.ignored: true
    }
}
