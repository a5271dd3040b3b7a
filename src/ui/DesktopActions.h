#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// What the screens ask of the desktop: the clipboard, and the browser or mail client for links.
class DesktopActions : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit DesktopActions(QObject *parent = nullptr);

    Q_INVOKABLE void copyText(const QString &text) const;
    // Opens http, https and mailto links; anything else a message might carry is refused.
    Q_INVOKABLE bool openLink(const QString &link) const;

    static bool isOpenable(const QUrl &url);
};
