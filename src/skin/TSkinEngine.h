#pragma once
// The skin engine of the main window: puts the application on the Fusion style and restyles
// every window and dialog at once from a .ssk skin file (palette plus style sheet).

#include <QObject>
#include <QString>

class TSkinFile;

class TSkinEngine : public QObject
{
    Q_OBJECT

public:
    explicit TSkinEngine(QObject* parent = nullptr);

    // Loads the skin file and applies it to the whole application. A file that does not
    // exist leaves the look as it is; one that is not a valid skin raises AppError and also
    // leaves the look as it is.
    void SetSkinFile(const QString& path);

    // The path of the skin in use; empty until a skin was applied.
    const QString& SkinFile() const { return skinFile; }

    // Raises AppError naming the line of the first style-sheet rule Qt cannot parse.
    static void CheckStyleSheet(const TSkinFile& skin);

private:
    QString skinFile;
};
