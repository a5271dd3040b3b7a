#include "ui/ScrollThrottle.h"

#include <QPointer>
#include <QTimer>
#include <utility>

ScrollThrottle::ScrollThrottle(Schedule customSchedule, QObject *parent)
    : QObject(parent)
    , schedule(std::move(customSchedule))
{
    if (!schedule) {
        schedule = [this](std::chrono::milliseconds delay, std::function<void()> callback) {
            QTimer::singleShot(delay, this, std::move(callback));
        };
    }
}

void ScrollThrottle::setFollowing(bool following)
{
    m_isFollowing = following;
}

void ScrollThrottle::request()
{
    if (!m_isFollowing)
        return;
    needsScroll = true;
    // A running throttle picks the request up at its next tick.
    if (running)
        return;
    running = true;
    tick();
}

void ScrollThrottle::tick()
{
    if (!needsScroll || !m_isFollowing) {
        running = false;
        needsScroll = false;
        return;
    }
    needsScroll = false;
    emit scrollRequested();
    schedule(interval, [self = QPointer(this)] {
        if (self)
            self->tick();
    });
}
