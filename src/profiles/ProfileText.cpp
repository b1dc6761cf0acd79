#include "profiles/ProfileText.h"

QStringList SplitProfileText(const QString& text, const QString& separator)
{
    QStringList fields;
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = text.indexOf(separator, start, Qt::CaseSensitive);
        if (found < 0)
            break;
        fields.append(text.mid(start, found - start));
        start = found + separator.size();
    }
    fields.append(text.mid(start));
    return fields;
}
