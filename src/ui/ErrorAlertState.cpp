#include "ui/ErrorAlertState.h"

#include "model/Excerpt.h"

ErrorAlertState::ErrorAlertState(QObject *parent)
    : QObject(parent)
{}

QString ErrorAlertState::message() const
{
    return description.value_or(QStringLiteral("An error occurred"));
}

void ErrorAlertState::setShown(bool shown)
{
    if (shown == m_isShown)
        return;
    m_isShown = shown;
    emit isShownChanged();
}

void ErrorAlertState::show(const QString &failure)
{
    description = Excerpt::of(failure);
    emit messageChanged();
    setShown(true);
}
