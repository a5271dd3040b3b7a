pragma ComponentBehavior: Bound

import QtQuick
import Vessa

// What the popover holds: the sign-in screen while nobody is signed in, the chat afterwards.
Item {
    id: root

    implicitWidth: 400
    implicitHeight: 600
    width: 400
    height: 600

    Loader {
        anchors.fill: parent
        sourceComponent: AuthService.isAuthenticated ? chat : login
    }

    Component {
        id: login

        LoginView {}
    }

    Component {
        id: chat

        ChatView {}
    }
}
