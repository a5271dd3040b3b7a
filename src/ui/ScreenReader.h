#pragma once

#include <QAccessible>
#include <QObject>
#include <QtQml/qqmlregistration.h>

// Whether anything reads the screens out: an assistive technology is connected, or the desktop
// keeps the accessibility bridge on. Views use it to keep work that only a screen reader needs out
// of the common case.
class ScreenReader : public QObject, public QAccessible::ActivationObserver
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

public:
    explicit ScreenReader(QObject *parent = nullptr);
    ~ScreenReader() override;

    bool isActive() const { return QAccessible::isActive(); }

    void accessibilityActiveChanged(bool active) override;

signals:
    void isActiveChanged();
};
