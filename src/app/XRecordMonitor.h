#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QtGlobal>
#include <array>
#include <bitset>
#include <memory>
#include <vector>

class QSocketNotifier;

// Watches the X server's input as it is delivered to every client, without taking anything away
// from them: the key or click still reaches the window it was meant for. This is how an
// application without focus sees its hot key and the clicks beside its popover.
//
// Two connections of our own: the control connection sets the recording up and answers
// questions (keycodes); the data connection only carries the recorded events, read when its
// socket has data. Xlib must not be called on the data connection while it hands over events, so
// events are collected first and signalled after Xlib returned.
class XRecordMonitor : public QObject
{
    Q_OBJECT

public:
    enum class Events
    {
        keyPresses,
        buttonPresses,
    };

    // Null when there is no X display or it lacks the RECORD extension; then *whyNot says which.
    static std::unique_ptr<XRecordMonitor> create(Events events, QString *whyNot);
    ~XRecordMonitor() override;

    // The keycode that produces the key symbol in the current keyboard layout; 0 when none does.
    quint8 keycodeForKeysym(unsigned long keysym) const;

signals:
    // The X modifier state held while the key went down (ShiftMask, ControlMask, ...). A held
    // key repeats: those presses come with isRepeat set.
    void keyPressed(quint8 keycode, quint16 modifierState, bool isRepeat);
    // Where, in the device-independent pixels of Qt's screens and windows, not the X server's
    // own: on a scaled screen the two differ.
    void buttonPressed(QPoint position);

private:
    struct Connections;
    struct Recorded
    {
        int type;
        quint8 keycode;
        quint16 state;
        quint32 time;
        QPoint position;
    };

    explicit XRecordMonitor(std::unique_ptr<Connections> connections);
    void readRecordedEvents();
    static QPoint fromDevicePixels(QPoint position);
    bool isRepeat(const Recorded &event);

    std::unique_ptr<Connections> x;
    std::unique_ptr<QSocketNotifier> notifier;
    std::vector<Recorded> recorded;
    // The keys held down, and when each was last released: the server repeats a held key as a
    // release and a press at the same time.
    std::bitset<256> keysDown;
    std::array<quint32, 256> releaseTimes{};
};
