#include "skin/ProgramIcon.h"

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/velmora/%1x%1/apps/velmora.png").arg(size), QSize(size, size));
    return icon;
}
