#pragma once

#include "markdown/IncrementalMarkdown.h"
#include "markdown/MarkdownBlock.h"
#include "ui/Utf8Mirror.h"

#include <QAbstractListModel>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The blocks of one message text, as rows for its view. While a reply streams its text only
// grows, and only the blocks after the last point where the text can restart are parsed and
// compared again: the rows before it keep their delegates, a selection in them included.
class MarkdownBlockModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString content READ content WRITE setContent NOTIFY contentChanged)
    Q_PROPERTY(bool isUser READ isUser WRITE setIsUser NOTIFY isUserChanged)

public:
    enum Role
    {
        // "paragraph", "code", "table", "bulletList" or "numberedList".
        KindRole = Qt::UserRole + 1,
        // Paragraphs: rich text of the inline formatting. Code: the literal code.
        TextRole,
        // Lists: rich text of each item.
        ItemsRole,
        // Tables: the header cells and the rows of cells, as literal text.
        HeadersRole,
        RowsRole,
    };
    Q_ENUM(Role)

    explicit MarkdownBlockModel(QObject *parent = nullptr);

    const QString &content() const { return text.text(); }
    void setContent(const QString &content);
    bool isUser() const { return m_isUser; }
    void setIsUser(bool isUser);

    const std::vector<MarkdownBlock> &blocks() const { return parser.blocks(); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void contentChanged();
    void isUserChanged();

private:
    void apply(std::size_t firstChanged);

    Utf8Mirror text;
    bool m_isUser = false;
    IncrementalMarkdown parser;
    // Rows the view has been told about; the parser's blocks may already be ahead.
    std::size_t rowsShown = 0;
};
