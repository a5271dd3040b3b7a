import QtQuick
import Vessa

// What the popover holds: the sign-in screen while nobody is signed in, the chat afterwards.
// Its components are not bound to this file's context: the Loader makes them in a context of
// its own, which Qt 6.4 refuses for bound components when the file is a window's root.
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
