#include "ui/SymbolIcon.h"

#include <QFile>
#include <QPainter>

SymbolIcon::SymbolIcon(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void SymbolIcon::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    reload();
    emit nameChanged();
}

void SymbolIcon::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    reload();
    emit colorChanged();
}

QByteArray SymbolIcon::svg(const QString &name, const QColor &color)
{
    // Names come from our own views, but a name is never allowed to leave the icon folder.
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return {};
    QFile file(QStringLiteral(":/icons/%1.svg").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.readAll();
    text.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    if (color.alpha() < 255) {
        text.replace("<svg ", QByteArray("<svg opacity=\"") +
                                  QByteArray::number(color.alphaF(), 'f', 3) + "\" ");
    }
    return text;
}

void SymbolIcon::reload()
{
    renderer.load(svg(m_name, m_color));
    update();
}

void SymbolIcon::paint(QPainter *painter)
{
    if (renderer.isValid())
        renderer.render(painter, boundingRect());
}
