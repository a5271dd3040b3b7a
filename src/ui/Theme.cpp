#include "ui/Theme.h"

#include <QCoreApplication>
#include <QEvent>

Theme::Theme(QObject *parent)
    : QObject(parent)
{
    // The application object receives the palette change when the desktop switches appearance.
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(this);
}

bool Theme::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance() &&
        event->type() == QEvent::ApplicationPaletteChange)
        emit colorsChanged();
    return QObject::eventFilter(watched, event);
}
