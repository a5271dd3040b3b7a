#include "ui/DesktopActions.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>

DesktopActions::DesktopActions(QObject *parent)
    : QObject(parent)
{}

void DesktopActions::copyText(const QString &text) const
{
    QGuiApplication::clipboard()->setText(text);
}

bool DesktopActions::isOpenable(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == u"http" || scheme == u"https" || scheme == u"mailto");
}

bool DesktopActions::openLink(const QString &link) const
{
    const QUrl url(link, QUrl::StrictMode);
    return isOpenable(url) && QDesktopServices::openUrl(url);
}
