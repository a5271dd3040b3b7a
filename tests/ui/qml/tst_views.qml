import QtQuick
import QtTest
import Vessa
import VessaTesting

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
            onToggled: isExpanded = !isExpanded
        }
    }

    Component {
        id: replyList

        ListView {
            width: 400
            height: 600
            model: StreamingReply.messages
            reuseItems: true
            delegate: MessageBubbleView {}
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
        id: table

        TableBlockView {
            width: 300
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

    Component {
        id: voiceChat

        VoiceChatView {
            width: 400
            height: 600
        }
    }

    Component {
        id: chat

        ChatView {
            width: 400
            height: 600
        }
    }

    SignalSpy {
        id: sendSpy

        signalName: "send"
    }

    SignalSpy {
        id: stopSpy

        signalName: "stop"
    }

    SignalSpy {
        id: retrySpy

        signalName: "retry"
    }

    function find(item, name) {
        if (item.objectName === name)
            return item;
        const children = item.data ?? item.children ?? [];
        for (let i = 0; i < children.length; ++i) {
            const found = find(children[i], name);
            if (found)
                return found;
        }
        if (item.contentItem && item.contentItem !== item)
            return find(item.contentItem, name);
        return null;
    }

    function findAll(item, name, found = []) {
        if (item.objectName === name)
            found.push(item);
        const children = item.data ?? item.children ?? [];
        for (let i = 0; i < children.length; ++i)
            findAll(children[i], name, found);
        if (item.contentItem && item.contentItem !== item)
            findAll(item.contentItem, name, found);
        return found;
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
            view.isLoading = false;
            view.text = " \n\t";
            verify(!root.find(view, "sendButton").enabled);
            keyClick(Qt.Key_Return);
            compare(sendSpy.count, 1);
            verify(!root.find(view, "voiceButton").visible);
        }

        function test_whileLoadingTheSendButtonIsAStopButton() {
            const view = createTemporaryObject(inputView, root, {text: "Hello", isLoading: true});
            sendSpy.target = view;
            sendSpy.clear();
            stopSpy.target = view;
            stopSpy.clear();
            const button = root.find(view, "sendButton");
            verify(button.enabled);
            compare(button.Accessible.name, "Stop");
            const field = root.find(view, "messageField");
            field.forceActiveFocus();
            mouseClick(button);
            compare(stopSpy.count, 1);
            compare(sendSpy.count, 0);
            // The keyboard stays in the message field.
            verify(field.activeFocus);

            view.isLoading = false;
            compare(button.Accessible.name, "Send");
            mouseClick(button);
            compare(sendSpy.count, 1);
            compare(stopSpy.count, 1);
        }

        // A double click on Send sends once: its second click does not land on the Stop button the
        // send turned it into, which a later click does.
        function test_theSecondClickOfADoubleClickOnSendDoesNotStop() {
            const view = createTemporaryObject(inputView, root, {text: "Hello"});
            view.send.connect(() => view.isLoading = true);
            sendSpy.target = view;
            sendSpy.clear();
            stopSpy.target = view;
            stopSpy.clear();
            const button = root.find(view, "sendButton");
            mouseDoubleClickSequence(button);
            compare(sendSpy.count, 1);
            compare(stopSpy.count, 0);
            tryVerify(() => {
                mouseClick(button);
                return stopSpy.count > 0;
            });
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

        function test_eachKindOfRowHasADelegateOfItsOwn() {
            StreamingReply.restart();
            const list = createTemporaryObject(replyList, root);
            retrySpy.target = list.delegate;
            retrySpy.clear();
            StreamingReply.startTool("t1");
            StreamingReply.appendText("Logged **eggs**.");
            tryVerify(() => root.find(list, "typingBubble") !== null);
            StreamingReply.fail();
            const rows = ["userBubble", "toolGroup", "textBubble", "replyCaption", "copyReply", "retryButton"];
            tryCompare(list, "count", rows.length);
            for (let i = 0; i < rows.length; ++i)
                tryVerify(() => list.itemAtIndex(i) && root.find(list.itemAtIndex(i), rows[i]) !== null, 1000, rows[i]);
            compare(root.find(list, "replyCaption").text, "Not finished: the reply failed");
            const retry = root.find(list, "retryButton");
            compare(retry.Accessible.name, "Retry");
            mouseClick(retry);
            compare(retrySpy.count, 1);
        }

        // Cards stay open and text stays selected while tools report, text arrives and the turn
        // completes.
        function test_rowStateSurvivesEveryUpdateOfTheReply() {
            StreamingReply.restart();
            const list = createTemporaryObject(replyList, root);
            StreamingReply.startTool("t1");
            StreamingReply.appendText("First paragraph of the reply.");
            tryVerify(() => root.find(list, "textBubble") !== null && root.find(list, "toolCard") !== null);
            const card = root.find(list, "toolCard");
            mouseClick(card, 20, 10);
            verify(card.isExpanded);
            const paragraph = root.find(root.find(list, "textBubble"), "paragraph");
            paragraph.select(0, 5);
            compare(paragraph.selectedText, "First");

            StreamingReply.finishTool("t1", "Logged");
            StreamingReply.startTool("t2");
            StreamingReply.appendText("\n\nA second paragraph.");
            compare(list.count, 5);
            StreamingReply.completeTurn();
            compare(list.count, 6);
            waitForItemPolished(list);
            verify(card.isExpanded);
            compare(root.find(card, "details").visible, true);
            compare(paragraph.selectedText, "First");
        }

        function test_blocksAreDrawnByKind() {
            const view = createTemporaryObject(markdown, root, {content: "Intro **bold**\n\n- a\n- b\n\n3. x\n\n```js\nlet a = 1;\n```\n\na | b\n---|---\n1 | 2\n\n<script>alert(1)</script>"});
            compare(root.blocks(view).map(block => block.kind), ["paragraph", "bulletList", "numberedList", "code", "table", "paragraph"]);
            const script = root.blocks(view)[5];
            const text = root.find(script, "paragraph").getText(0, 100);
            compare(text, "<script>alert(1)</script>");
        }

        function test_tableCellsAreWholeAndSelectableAndWideTablesScrollSideways() {
            const note = "A note that goes on. ".repeat(40).trim();
            const fits = createTemporaryObject(table, root, {headers: ["Item", "Note"], rows: [["Eggs", note], ["Toast", "Buttered"]]});
            const cell = root.findAll(fits, "tableCell").find(found => found.text === note);
            verify(cell);
            // All of its lines are inside the table: nothing is cut.
            verify(cell.lineCount > 8);
            compare(cell.height, cell.implicitHeight);
            verify(cell.mapToItem(fits, 0, cell.height).y <= fits.height);
            cell.selectAll();
            compare(cell.selectedText, note);
            verify(!root.find(fits, "tableScroller").interactive);

            const columns = ["Breakfast", "Lunch", "Dinner", "Snacks", "Water", "Steps", "Sleep", "Mood"];
            const wide = createTemporaryObject(table, root, {headers: columns, rows: [columns.map(column => column + " notes")]});
            const scroller = root.find(wide, "tableScroller");
            verify(scroller.interactive);
            verify(scroller.contentWidth > wide.width);
            // Each cell keeps its text on one line instead of squeezing it.
            for (const found of root.findAll(wide, "tableCell"))
                compare(found.lineCount, 1, found.text);

            // Columns that fit at their natural widths do not scroll, even where an equal share
            // would squeeze one: the rows fill the table.
            const uneven = createTemporaryObject(table, root, {headers: ["Meal", "What you ate", "kcal", "g"], rows: [["Breakfast", "Two eggs and toast", "180", "5"]]});
            verify(!root.find(uneven, "tableScroller").interactive);
            const cells = root.findAll(uneven, "tableCell");
            for (const found of cells)
                compare(found.lineCount, 1, found.text);
            const last = cells.find(found => found.text === "5");
            compare(Math.round(last.mapToItem(uneven, last.width, 0).x), uneven.width);
        }

        function test_aTableGrowingByARowKeepsItsCellsAndTheirSelection() {
            const view = createTemporaryObject(table, root, {headers: ["Meal", "kcal"], rows: [["Breakfast", "180"]]});
            const cell = root.findAll(view, "tableCell").find(found => found.text === "Breakfast");
            cell.select(0, 5);
            // As while a reply streams: the same rows handed over anew, and one more.
            view.headers = ["Meal", "kcal"];
            view.rows = [["Breakfast", "180"], ["Lunch", "450"]];
            compare(root.findAll(view, "tableCell").find(found => found.text === "Breakfast"), cell);
            compare(cell.selectedText, "Break");
            verify(root.findAll(view, "tableCell").some(found => found.text === "Lunch"));
        }

        function test_accountCardWithoutBothNamesShowsTheEmailOnly() {
            const view = createTemporaryObject(settings, root);
            verify(root.find(view, "accountSection").visible);
            verify(!root.find(view, "accountName").visible);
            compare(root.find(view, "accountEmail").text, "ada@example.com");
        }

        function test_closingTheChatsAlertGivesTheKeyboardBackToTheMessageField() {
            const view = createTemporaryObject(chat, root);
            const field = root.find(view, "messageField");
            const alert = root.find(view, "chatErrorAlert");
            view.controller.alert.isShown = true;
            tryVerify(() => alert.opened);
            verify(!field.activeFocus);
            keyClick(Qt.Key_Escape);
            tryVerify(() => !alert.visible);
            verify(field.activeFocus);
            keyClick(Qt.Key_A);
            compare(field.text, "a");

            // Over another screen, the chat's hidden field is left alone.
            view.controller.showSettings();
            view.controller.alert.isShown = true;
            tryVerify(() => alert.opened);
            keyClick(Qt.Key_Escape);
            tryVerify(() => !alert.visible);
            verify(!field.activeFocus);
        }

        function test_voiceChatSignedOutShowsTheAlertAndStaysDisconnected() {
            const view = createTemporaryObject(voiceChat, root, {controller: VoiceScreens.signedOut()});
            const alert = root.find(view, "voiceErrorAlert");
            tryVerify(() => alert.visible);
            compare(alert.title, "Error");
            compare(root.find(alert.contentItem, "alertMessage").text, "Not logged in. Please log in first.");
            compare(root.find(view, "connectionLabel").text, "Disconnected");
            verify(Qt.colorEqual(root.find(view, "connectionDot").color, Theme.colors.textSecondary));
            compare(root.find(view, "statusLine").text, "Not connected");
            compare(root.find(view, "talkButton").opacity, 0.5);
            tryVerify(() => alert.opened);
            keyClick(Qt.Key_Escape);
            tryVerify(() => !alert.visible);
            verify(root.find(view, "talkButton").activeFocus);
        }

        function test_voiceChatShowsEachStateOfTheSession() {
            const view = createTemporaryObject(voiceChat, root, {controller: VoiceScreens.connecting()});
            const service = view.controller.voiceService;
            const text = name => root.find(view, name).text;
            const orb = root.find(view, "orb");
            const talk = root.find(view, "talkButton");

            compare(text("connectionLabel"), "Connecting...");
            verify(Qt.colorEqual(root.find(view, "connectionDot").color, Theme.colors.warning));
            compare(text("statusLine"), "Connecting to voice service...");
            compare(orb.symbol, "wifi.slash");
            compare(talk.opacity, 0.5);
            compare([orb.width, orb.height], [216, 216]);
            for (let i = 0; i < 3; ++i) {
                compare(root.find(orb, "ring" + i).width, 120 + 20 * i);
                fuzzyCompare(root.find(orb, "ring" + i).opacity, [0.3, 0.22, 0.14][i], 1e-6);
            }
            // Held while connecting, the button does nothing.
            mousePress(talk);
            verify(!service.isListening);
            mouseRelease(talk);

            service.handleConnectionStateChange(2);
            compare(text("connectionLabel"), "Connected");
            verify(Qt.colorEqual(root.find(view, "connectionDot").color, Theme.colors.success));
            compare(text("statusLine"), "Listening...");
            compare(text("hint"), "Release to send");
            compare(orb.symbol, "waveform");
            compare(root.find(view, "talkIcon").name, "mic.fill");
            tryCompare(talk, "scale", 1.05);

            service.stopListening();
            compare(text("statusLine"), "Ready");
            compare(text("hint"), "Hold to talk");
            compare(orb.symbol, "mic.fill");
            compare(root.find(view, "talkIcon").name, "mic");
            tryCompare(talk, "scale", 1);
            // Held by pointer or space bar, the microphone is on until let go.
            mousePress(talk);
            verify(service.isListening);
            mouseRelease(talk);
            talk.forceActiveFocus();
            keyPress(Qt.Key_Space);
            verify(service.isListening);
            keyRelease(Qt.Key_Space);
            verify(!service.isListening);

            service.handleOutputAudioLevel(0.5);
            compare(text("statusLine"), "Vessa is speaking...");
            compare(text("hint"), "Wait for response...");
            compare(orb.symbol, "bars");
            fuzzyCompare(root.find(orb, "ring2").opacity, 0.24, 1e-6);

            service.handleConnectionStateChange(3);
            compare(text("connectionLabel"), "Disconnected");
            compare(text("statusLine"), "Not connected");
            compare(talk.opacity, 0.5);
        }

        function test_eachVoiceChatIsANewScreenUntilDismissed() {
            const view = createTemporaryObject(chat, root);
            const layer = root.find(view, "voiceChatLayer");
            compare(layer.count, 0);
            mouseClick(root.find(view, "voiceButton"));
            compare(layer.count, 1);
            let ended = false;
            layer.itemAt(0).Component.onDestruction.connect(() => ended = true);
            layer.itemAt(0).controller.voiceService.handleConnectionStateChange(2);
            root.find(layer.itemAt(0), "closeVoiceChatButton").clicked();
            verify(view.controller.isShowingChat);
            compare(layer.count, 0);
            // Leaving ended the screen with its session; coming back starts another.
            tryVerify(() => ended);
            view.controller.showVoiceChat();
            verify(!layer.itemAt(0).controller.voiceService.isConnected);

            view.controller.showSettings();
            compare(layer.count, 0);
            compare(root.find(view, "settingsLayer").count, 1);
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
