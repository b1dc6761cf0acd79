#include "joblist/TJobListDelegate.h"

#include <QPainter>

QColor TJobListDelegate::GridColor(const QPalette& palette)
{
    return palette.color(QPalette::Midlight);
}

QColor TJobListDelegate::HoverColor(const QPalette& palette)
{
    QColor color = palette.color(QPalette::Highlight);
    color.setAlpha(48);
    return color;
}

void TJobListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    if ((option.state & QStyle::State_MouseOver) && !(option.state & QStyle::State_Selected))
        painter->fillRect(option.rect, HoverColor(option.palette));
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(GridColor(option.palette));
    const QRect r = option.rect;
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
}
