#pragma once
// The job list's intake rules without any window: the supported extensions, the extension
// test of new files and the file-open dialog's filter rows.

#include <QString>
#include <QStringList>

class JobFiles
{
public:
    // "*.3gp;*.3g2;...;*.nsv": the text the extension test searches.
    static const QString& SupportedExtensionsText();

    // The part of the path from its last dot after the last separator, dot included, in lower
    // case; empty when the name has no dot.
    static QString ExtensionOf(const QString& path);

    // A plain search of the supported text: ".mp" passes as the start of ".mp2"; "" never does.
    static bool IsSupported(const QString& path);

    // The 24 filter rows of the file-open dialog in Qt's form "Description (patterns)"; the
    // dialog shows them with QFileDialog::HideNameFilterDetails, so the user sees the descriptions.
    static QStringList OpenDialogFilters();

    static QString OpenDialogTitle() { return QStringLiteral("Open video files"); }
};
