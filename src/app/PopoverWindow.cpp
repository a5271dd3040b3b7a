#include "app/PopoverWindow.h"

#include "ui/ViewEngine.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QQmlEngine>
#include <QShowEvent>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VessaPlugin)

PopoverWindow::PopoverWindow()
{
    // A tool window: no taskbar entry, like a menu of the tray.
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setTitle(QStringLiteral("Vessa"));
    setResizeMode(QQuickView::SizeRootObjectToView);
    resize(contentSize);
    setMinimumSize(contentSize);
    setMaximumSize(contentSize);
    ViewEngine::prepare(*engine());
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &PopoverWindow::focusMoved);
}

void PopoverWindow::loadContent()
{
    if (source().isEmpty())
        setSource(QUrl(QStringLiteral("qrc:/Vessa/PopoverContentView.qml")));
}

void PopoverWindow::keyPressEvent(QKeyEvent *event)
{
    QQuickView::keyPressEvent(event);
    // A screen's own use of Escape (an open alert) comes first.
    if (!event->isAccepted() && event->key() == Qt::Key_Escape) {
        event->accept();
        emit escapePressed();
    }
}

void PopoverWindow::showEvent(QShowEvent *event)
{
    // The focus Qt names now may be the earlier showing's, its leaving not reported yet.
    hadFocus = false;
    shown.start();
    QQuickView::showEvent(event);
}

void PopoverWindow::focusMoved(QWindow *focusWindow)
{
    if (focusWindow == this)
        hadFocus = true;
    // Our own menu or About box taking the focus leaves the popover open; another application
    // taking it closes it, as a click beside it does.
    if (focusWindow == nullptr && isVisible() &&
        (hadFocus || shown.elapsed() >= settleTime.count()))
        emit focusLost();
}
