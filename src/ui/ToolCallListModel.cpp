#include "ui/ToolCallListModel.h"

#include "ui/ToolCallCard.h"

#include <QSet>

ToolCallListModel::ToolCallListModel(QObject *parent)
    : QAbstractListModel(parent)
{}

void ToolCallListModel::setToolCalls(const QList<ToolCall> &toolCalls)
{
    const auto count = static_cast<std::size_t>(toolCalls.size());
    std::size_t same = 0;
    while (same < cards.size() && same < count && cards[same].id == toolCalls[qsizetype(same)].id)
        ++same;
    for (std::size_t at = 0; at < same; ++at) {
        QVariantMap presented = ToolCallCard::present(toolCalls[qsizetype(at)]);
        if (presented == cards[at].presented)
            continue;
        cards[at].presented = std::move(presented);
        const QModelIndex changed = index(static_cast<int>(at));
        emit dataChanged(changed, changed, {ToolCallRole});
    }
    // Tools only ever join at the end; anything else replaces the cards from the first that
    // differs, each opened as it was.
    QSet<QString> expanded;
    for (std::size_t at = same; at < cards.size(); ++at) {
        if (cards[at].isExpanded)
            expanded.insert(cards[at].id);
    }
    if (cards.size() > same) {
        beginRemoveRows({}, static_cast<int>(same), static_cast<int>(cards.size()) - 1);
        cards.resize(same);
        endRemoveRows();
    }
    if (count > same) {
        beginInsertRows({}, static_cast<int>(same), static_cast<int>(count) - 1);
        for (std::size_t at = same; at < count; ++at) {
            const ToolCall &toolCall = toolCalls[qsizetype(at)];
            cards.push_back(
                {toolCall.id, ToolCallCard::present(toolCall), expanded.contains(toolCall.id)});
        }
        endInsertRows();
    }
}

void ToolCallListModel::setExpanded(int row, bool expanded)
{
    if (row < 0 || row >= rowCount())
        return;
    Card &card = cards[static_cast<std::size_t>(row)];
    if (card.isExpanded == expanded)
        return;
    card.isExpanded = expanded;
    emit dataChanged(index(row), index(row), {IsExpandedRole});
}

int ToolCallListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(cards.size());
}

QVariant ToolCallListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Card &card = cards[static_cast<std::size_t>(index.row())];
    switch (role) {
    case ToolCallRole:
        return card.presented;
    case IsExpandedRole:
        return card.isExpanded;
    default:
        return {};
    }
}

QHash<int, QByteArray> ToolCallListModel::roleNames() const
{
    return {{ToolCallRole, "toolCall"}, {IsExpandedRole, "isExpanded"}};
}
