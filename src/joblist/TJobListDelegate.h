#pragma once
// Draws the job list's rows as a report list shows them: grid lines between the cells, and the
// row under the pointer lightly highlighted.

#include <QStyledItemDelegate>

class TJobListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The colours used, from the palette the list has (skins change it).
    static QColor GridColor(const QPalette& palette);
    static QColor HoverColor(const QPalette& palette);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
