#pragma once

#include <QObject>
#include <chrono>
#include <functional>

// Keeps a growing list scrolled to its end without scrolling on every change: the first request
// scrolls at once, later ones within the same 150 ms are folded into one scroll when the interval
// is over, and the throttle goes idle one quiet interval after the last request. While the user
// reads further up (not following), requests are dropped, so the list stays where the user put
// it; scrolling back to the end resumes following.
class ScrollThrottle : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds interval{150};

    // Runs a callback once after a delay. Tests pass a clock of their own.
    using Schedule = std::function<void(std::chrono::milliseconds, std::function<void()>)>;

    explicit ScrollThrottle(Schedule schedule = {}, QObject *parent = nullptr);

    bool isFollowing() const { return m_isFollowing; }
    void setFollowing(bool following);
    bool isRunning() const { return running; }

    void request();

signals:
    // Scroll to the end now, without animation.
    void scrollRequested();

private:
    void tick();

    Schedule schedule;
    bool m_isFollowing = true;
    bool needsScroll = false;
    bool running = false;
};
