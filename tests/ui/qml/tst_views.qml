import QtQuick
import QtTest
import Vessa

Item {
    id: root

    width: 400
    height: 600

    Component {
        id: inputView

        ChatInputView {
            width: 400
        }
    }

    Component {
        id: toolCard

        ExpandableToolCardView {
            width: 300
        }
    }

    Component {
        id: bubble

        MessageBubbleView {
            width: 400
            messageId: "m"
            isUser: false
            piece: "block"
            isFirstPiece: true
            blockKind: "paragraph"
            text: "Done"
            items: []
            headers: []
            rows: []
            isFirstBlock: true
            isLastBlock: true
            isOnlyBlock: true
            isContinuation: false
            firstNumber: 1
            wholeCode: ""
            toolCalls: []
            content: "Done"
            hasText: true
            hasImage: false
            imageSource: ""
        }
    }

    Component {
        id: markdown

        MarkdownTextView {
            width: 300
            availableWidth: 300
        }
    }

    Component {
        id: settings

        SettingsView {
            width: 400
            height: 600
        }
    }

    Component {
        id: login

        LoginView {
            width: 400
            height: 600
        }
    }

    SignalSpy {
        id: sendSpy

        signalName: "send"
    }

    function find(item, name) {
        if (item.objectName === name)
            return item;
        const children = item.children ?? [];
        for (let i = 0; i < children.length; ++i) {
            const found = find(children[i], name);
            if (found)
                return found;
        }
        if (item.contentItem && item.contentItem !== item)
            return find(item.contentItem, name);
        return null;
    }

    function blocks(view) {
        let found = [];
        for (let i = 0; i < view.children[0].children.length; ++i) {
            const block = view.children[0].children[i];
            if (block.kind !== undefined)
                found.push(block);
        }
        return found;
    }

    TestCase {
        name: "Views"
        when: windowShown

        function test_returnSendsAndShiftReturnDoesNot() {
            const view = createTemporaryObject(inputView, root, {text: "Hello"});
            sendSpy.target = view;
            sendSpy.clear();
            const field = root.find(view, "messageField");
            field.forceActiveFocus();
            keyClick(Qt.Key_Return, Qt.ShiftModifier);
            compare(sendSpy.count, 0);
            keyClick(Qt.Key_Return);
            compare(sendSpy.count, 1);

            view.isLoading = true;
            keyClick(Qt.Key_Return);
            compare(sendSpy.count, 1);
            verify(!root.find(view, "sendButton").enabled);
            view.isLoading = false;
            view.text = " \n\t";
            verify(!root.find(view, "sendButton").enabled);
            keyClick(Qt.Key_Return);
            compare(sendSpy.count, 1);
            verify(!root.find(view, "voiceButton").visible);
        }

        function test_toolCardExpandsOnlyWithSomethingToShow() {
            const card = createTemporaryObject(toolCard, root, {toolCall: {displayName: "Log Meal", isExecuting: false, hasResult: true, hasInput: false, hasDetails: true, input: "", output: "done"}});
            const chevron = root.find(card, "chevron");
            verify(chevron.visible);
            compare(chevron.rotation, 0);
            verify(!root.find(card, "details").visible);
            mouseClick(card, 20, 10);
            verify(card.isExpanded);
            verify(root.find(card, "details").visible);
            tryCompare(chevron, "rotation", 90);

            const bare = createTemporaryObject(toolCard, root, {toolCall: {displayName: "Ping", isExecuting: false, hasResult: false, hasInput: false, hasDetails: false}});
            verify(!root.find(bare, "chevron").visible);
            mouseClick(bare, 20, 10);
            verify(bare.isExpanded);
            verify(!root.find(bare, "details").visible);
        }

        function test_eachPieceOfAMessageDrawsItsOwnPart() {
            const pieces = {block: "textBubble", typing: "typingBubble", copy: "copyReply", tools: "toolGroup", user: "userBubble"};
            for (const piece in pieces) {
                const view = createTemporaryObject(bubble, root, {piece: piece, isUser: piece === "user", toolCalls: [{displayName: "Log Meal", hasDetails: false}]});
                for (const other in pieces)
                    compare(root.find(view, pieces[other]) !== null, other === piece, piece + " draws " + other);
                verify(view.height > 16);
            }
        }

        function test_blocksAreDrawnByKind() {
            const view = createTemporaryObject(markdown, root, {content: "Intro **bold**\n\n- a\n- b\n\n3. x\n\n```js\nlet a = 1;\n```\n\na | b\n---|---\n1 | 2\n\n<script>alert(1)</script>"});
            compare(root.blocks(view).map(block => block.kind), ["paragraph", "bulletList", "numberedList", "code", "table", "paragraph"]);
            const script = root.blocks(view)[5];
            const text = root.find(script, "paragraph").getText(0, 100);
            compare(text, "<script>alert(1)</script>");
        }

        function test_accountCardWithoutBothNamesShowsTheEmailOnly() {
            const view = createTemporaryObject(settings, root);
            verify(root.find(view, "accountSection").visible);
            verify(!root.find(view, "accountName").visible);
            compare(root.find(view, "accountEmail").text, "ada@example.com");
        }

        function test_signInButtonIsDisabledWhileSigningIn() {
            const view = createTemporaryObject(login, root);
            const button = root.find(view, "signInButton");
            verify(button.enabled);
            verify(!root.find(view, "cancelSignInButton").visible);
            mouseClick(button);
            tryVerify(() => !button.enabled);
            verify(root.find(view, "signInProgress").visible);
            const cancel = root.find(view, "cancelSignInButton");
            verify(cancel.visible);
            mouseClick(cancel);
            tryVerify(() => button.enabled);
        }
    }
}
