#pragma once

#include <QElapsedTimer>
#include <QQuickView>
#include <QSize>
#include <chrono>

class QKeyEvent;

// The popover: a frameless window above all others that holds the application's screens. It is
// made once and hidden between showings, so that showing it again only draws it.
class PopoverWindow : public QQuickView
{
    Q_OBJECT

public:
    static constexpr QSize contentSize{400, 600};
    // How long after showing a focus loss counts only if the focus came first.
    static constexpr std::chrono::milliseconds settleTime{1000};

    PopoverWindow();

    // Compiles and creates the screens, once; they are kept while the window is hidden.
    void loadContent();

signals:
    // Escape was pressed and no screen took it.
    void escapePressed();
    // The focus went to another application.
    void focusLost();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void focusMoved(QWindow *focusWindow);

    // Whether this showing has been given the focus, and since when it shows: until it has the
    // focus, or has shown for settleTime, a focus loss reported belongs to an earlier showing,
    // its report delayed by a busy window system.
    bool hadFocus = false;
    QElapsedTimer shown;
};
