#include "ui/MarkdownBlockModel.h"

#include "ui/MarkdownBlockFields.h"

#include <algorithm>

MarkdownBlockModel::MarkdownBlockModel(QObject *parent)
    : QAbstractListModel(parent)
{}

void MarkdownBlockModel::setContent(const QString &content)
{
    if (!text.set(content))
        return;
    apply(parser.update(text.utf8()));
    emit contentChanged();
}

void MarkdownBlockModel::setIsUser(bool isUser)
{
    if (isUser == m_isUser)
        return;
    m_isUser = isUser;
    // Every row's colours change: draw them all again.
    if (rowsShown > 0)
        emit dataChanged(index(0), index(static_cast<int>(rowsShown) - 1));
    emit isUserChanged();
}

void MarkdownBlockModel::apply(std::size_t firstChanged)
{
    const std::size_t count = parser.blocks().size();
    const std::size_t common = std::min(rowsShown, count);
    if (firstChanged < common) {
        emit dataChanged(index(static_cast<int>(firstChanged)),
                         index(static_cast<int>(common) - 1));
    }
    if (count > rowsShown) {
        beginInsertRows({}, static_cast<int>(rowsShown), static_cast<int>(count) - 1);
        rowsShown = count;
        endInsertRows();
    } else if (count < rowsShown) {
        beginRemoveRows({}, static_cast<int>(count), static_cast<int>(rowsShown) - 1);
        rowsShown = count;
        endRemoveRows();
    }
}

int MarkdownBlockModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rowsShown);
}

QVariant MarkdownBlockModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const MarkdownBlock &block = parser.blocks()[static_cast<std::size_t>(index.row())];
    switch (role) {
    case KindRole:
        return MarkdownBlockFields::kind(block);
    case TextRole:
        return MarkdownBlockFields::text(block, m_isUser);
    case ItemsRole:
        return MarkdownBlockFields::items(block, m_isUser);
    case HeadersRole:
        return MarkdownBlockFields::headers(block);
    case RowsRole:
        return MarkdownBlockFields::rows(block);
    default:
        return {};
    }
}

QHash<int, QByteArray> MarkdownBlockModel::roleNames() const
{
    return {{KindRole, "kind"},
            {TextRole, "text"},
            {ItemsRole, "items"},
            {HeadersRole, "headers"},
            {RowsRole, "rows"}};
}
