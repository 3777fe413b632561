#pragma once

#include "FSUIKit/TextSize.h"

#include <QStyledItemDelegate>
#include <QUrl>

#include <functional>

// The list view's "Name" cell: icon, name and label dot, drawn for every row
// by one delegate. Its editor renames in place; the edited item is the one
// whose editor was opened, held by URL, since rows may move while the editor
// is open.
class ListNameCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int iconLeading = 2;
    static constexpr int nameLeading = 4;
    static constexpr int dotDiameter = 8;
    static constexpr int dotSpacing = 4;

    explicit ListNameCell(QObject *parent = nullptr);

    void setTextSize(TextSize size);
    TextSize textSize() const { return m_textSize; }

    // Called when an edit ends with the text typed, for the URL of the item
    // being edited when the editor opened.
    std::function<void(const QUrl &url, const QString &newName)> onCommitRename;

    // The URL an open editor edits.
    static QUrl editedUrl(const QWidget *editor);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QRect textRect(const QRect &cell) const;

    TextSize m_textSize;
    QFont m_font;
};

// The plain cells of "Date Modified", "Size" and "Kind": one line of text in
// the text size's font.
class ListTextCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ListTextCell(QObject *parent = nullptr);

    void setTextSize(TextSize size);
    // The width a cell needs to show the widest of `texts` uncut.
    int widthToShow(const QStringList &texts) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    TextSize m_textSize;
    QFont m_font;
};
