#include "app/XRecordMonitor.h"

#include <QGuiApplication>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QSocketNotifier>
#include <utility>

// Xlib last: its macros (None, Bool, Status, KeyPress, ...) would break the Qt headers.
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

struct XRecordMonitor::Connections
{
    Display *control = nullptr;
    Display *data = nullptr;
    XRecordContext context = 0;

    ~Connections()
    {
        if (context != 0) {
            XRecordDisableContext(control, context);
            XRecordFreeContext(control, context);
            XFlush(control);
        }
        if (data != nullptr)
            XCloseDisplay(data);
        if (control != nullptr)
            XCloseDisplay(control);
    }
};

std::unique_ptr<XRecordMonitor> XRecordMonitor::create(Events events, QString *whyNot)
{
    auto x = std::make_unique<Connections>();
    x->control = XOpenDisplay(nullptr);
    x->data = x->control != nullptr ? XOpenDisplay(nullptr) : nullptr;
    if (x->data == nullptr) {
        *whyNot = QStringLiteral("no X display");
        return nullptr;
    }
    int major = 0;
    int minor = 0;
    if (XRecordQueryVersion(x->control, &major, &minor) == 0) {
        *whyNot = QStringLiteral("the X server has no RECORD extension");
        return nullptr;
    }

    XRecordRange *range = XRecordAllocRange();
    if (range == nullptr) {
        *whyNot = QStringLiteral("out of memory");
        return nullptr;
    }
    // Key releases too, which tell a repeated key from a new press.
    const bool keys = events == Events::keyPresses;
    range->device_events.first = keys ? KeyPress : ButtonPress;
    range->device_events.last = keys ? KeyRelease : ButtonPress;
    XRecordClientSpec clients = XRecordAllClients;
    x->context = XRecordCreateContext(x->control, 0, &clients, 1, &range, 1);
    XFree(range);
    if (x->context == 0) {
        *whyNot = QStringLiteral("the X server refused to record input");
        return nullptr;
    }
    // The context must exist on the server before the data connection refers to it.
    XSync(x->control, False);

    std::unique_ptr<XRecordMonitor> monitor(new XRecordMonitor(std::move(x)));
    const auto collect = [](XPointer closure, XRecordInterceptData *intercepted) {
        auto *self = reinterpret_cast<XRecordMonitor *>(closure);
        if (intercepted->category == XRecordFromServer && intercepted->data_len > 0) {
            const auto *event = reinterpret_cast<const xEvent *>(intercepted->data);
            self->recorded.push_back(
                Recorded{event->u.u.type & 0x7f, event->u.u.detail, event->u.keyButtonPointer.state,
                         quint32(event->u.keyButtonPointer.time),
                         QPoint(event->u.keyButtonPointer.rootX, event->u.keyButtonPointer.rootY)});
        }
        XRecordFreeData(intercepted);
    };
    if (XRecordEnableContextAsync(monitor->x->data, monitor->x->context, collect,
                                  reinterpret_cast<XPointer>(monitor.get())) == 0) {
        *whyNot = QStringLiteral("the X server refused to record input");
        return nullptr;
    }
    return monitor;
}

XRecordMonitor::XRecordMonitor(std::unique_ptr<Connections> connections)
    : x(std::move(connections))
    , notifier(std::make_unique<QSocketNotifier>(ConnectionNumber(x->data), QSocketNotifier::Read))
{
    connect(notifier.get(), &QSocketNotifier::activated, this, &XRecordMonitor::readRecordedEvents);
}

XRecordMonitor::~XRecordMonitor()
{
    notifier.reset();
    x.reset();
}

quint8 XRecordMonitor::keycodeForKeysym(unsigned long keysym) const
{
    return quint8(XKeysymToKeycode(x->control, KeySym(keysym)));
}

void XRecordMonitor::readRecordedEvents()
{
    XRecordProcessReplies(x->data);
    // Signalled only now: a receiver may destroy this monitor, which closes the connections.
    const std::vector<Recorded> events = std::exchange(recorded, {});
    const QPointer<XRecordMonitor> alive(this);
    for (const Recorded &event : events) {
        if (!alive)
            return;
        if (event.type == KeyPress)
            emit keyPressed(event.keycode, event.state, isRepeat(event));
        else if (event.type == KeyRelease)
            isRepeat(event);
        else
            emit buttonPressed(fromDevicePixels(event.position));
    }
}

QPoint XRecordMonitor::fromDevicePixels(QPoint position)
{
    // A scaled screen keeps its top-left corner where the X server has it and shrinks its size.
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        const QRect device(logical.topLeft(), logical.size() * ratio);
        if (device.contains(position))
            return logical.topLeft() + (position - logical.topLeft()) / ratio;
    }
    return position;
}

bool XRecordMonitor::isRepeat(const Recorded &event)
{
    if (event.type == KeyRelease) {
        keysDown.reset(event.keycode);
        releaseTimes.at(event.keycode) = event.time;
        return false;
    }
    const bool repeat =
        keysDown.test(event.keycode) || releaseTimes.at(event.keycode) == event.time;
    keysDown.set(event.keycode);
    return repeat;
}
