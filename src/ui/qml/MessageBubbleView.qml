pragma ComponentBehavior: Bound

import QtQuick
import Qt.labs.qmlmodels
import Vessa

// The delegate of one row of the message list, chosen by the row's kind; each kind's view takes
// only the roles it shows.
DelegateChooser {
    id: root

    // The row offering to send a failed message again was clicked.
    signal retry

    role: "kind"

    DelegateChoice {
        roleValue: "user"

        UserBubbleView {}
    }

    DelegateChoice {
        roleValue: "tools"

        ToolGroupView {}
    }

    DelegateChoice {
        roleValue: "block"

        ReplyBlockView {}
    }

    DelegateChoice {
        roleValue: "typing"

        TypingBubbleView {}
    }

    DelegateChoice {
        roleValue: "caption"

        ReplyCaptionView {}
    }

    DelegateChoice {
        roleValue: "copy"

        CopyReplyView {}
    }

    DelegateChoice {
        roleValue: "retry"

        RetryView {
            onRetry: root.retry()
        }
    }
}
