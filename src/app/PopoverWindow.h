#pragma once

#include <QQuickView>
#include <QSize>

class QKeyEvent;

// The popover: a frameless window above all others that holds the application's screens. It is
// made once and hidden between showings, so that showing it again only draws it.
class PopoverWindow : public QQuickView
{
    Q_OBJECT

public:
    static constexpr QSize contentSize{400, 600};

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

    // Whether this showing has had the focus: a focus loss reported before then belongs to an
    // earlier showing, its report delayed by a busy window system.
    bool hadFocus = false;
};
