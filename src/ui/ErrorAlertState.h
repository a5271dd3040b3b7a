#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>

// A screen's error alert: whether it is shown and the failure it tells of. Dismissing it hides it;
// the text stays until the next failure.
class ErrorAlertState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Each screen's controller owns its alert")
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool isShown READ isShown WRITE setShown NOTIFY isShownChanged)

public:
    explicit ErrorAlertState(QObject *parent = nullptr);

    // The failure's description, or "An error occurred" without one.
    QString message() const;
    bool isShown() const { return m_isShown; }
    void setShown(bool shown);

    // Shows a failure. A description may quote most of what a server sent; the alert shows its
    // head.
    void show(const QString &description);

signals:
    void messageChanged();
    void isShownChanged();

private:
    std::optional<QString> description;
    bool m_isShown = false;
};
