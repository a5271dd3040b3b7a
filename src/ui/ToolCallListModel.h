#pragma once

#include "model/ToolCall.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <vector>

// The cards of one tool group, one row per tool call in the message's order. A result that
// arrives changes its card's row in place, and a new tool adds a row, so the cards already shown
// keep their delegates. Whether a card is expanded is kept here rather than in its delegate,
// which the list may rebuild or hand to another row at any time.
class ToolCallListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Each tool group of the message list has one")

public:
    enum Role
    {
        // As ToolCallCard::present gives it.
        ToolCallRole = Qt::UserRole + 1,
        IsExpandedRole,
    };
    Q_ENUM(Role)

    explicit ToolCallListModel(QObject *parent = nullptr);

    void setToolCalls(const QList<ToolCall> &toolCalls);
    Q_INVOKABLE void setExpanded(int row, bool expanded);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    struct Card
    {
        QString id;
        QVariantMap presented;
        bool isExpanded = false;
    };

    std::vector<Card> cards;
};
