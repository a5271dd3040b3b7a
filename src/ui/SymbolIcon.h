#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QString>
#include <QSvgRenderer>
#include <QtQml/qqmlregistration.h>

class QPainter;

// One icon of the bundled set, named after the symbol it stands for ("gearshape"), drawn in one
// colour at the item's size. The icons draw with "currentColor", which is replaced by `color`.
class SymbolIcon : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit SymbolIcon(QQuickItem *parent = nullptr);

    const QString &name() const { return m_name; }
    void setName(const QString &name);
    const QColor &color() const { return m_color; }
    void setColor(const QColor &color);

    // The icon file's text for a colour; empty for an unknown name.
    static QByteArray svg(const QString &name, const QColor &color);

    void paint(QPainter *painter) override;

signals:
    void nameChanged();
    void colorChanged();

private:
    void reload();

    QString m_name;
    QColor m_color = Qt::black;
    QSvgRenderer renderer;
};
