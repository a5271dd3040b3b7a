#include "ui/ScreenReader.h"

ScreenReader::ScreenReader(QObject *parent)
    : QObject(parent)
{
    QAccessible::installActivationObserver(this);
}

ScreenReader::~ScreenReader()
{
    QAccessible::removeActivationObserver(this);
}

void ScreenReader::accessibilityActiveChanged(bool)
{
    emit isActiveChanged();
}
