#pragma once
// The splash window shown while the program starts: a borderless picture at the centre of the
// screen whose grey (128, 128, 128) pixels let the desktop show through, faded in and out.

#include <QWidget>

class QLabel;
class TfrmCommon;

class TfrmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmSplash(const TfrmCommon* common, QWidget* parent = nullptr);

    // Centres and fades the window in, activates it and shows the edition's picture. A
    // picture that cannot be loaded raises AppError after the fade; the window stays up
    // without a picture.
    void FormShow();
    // A request to close: fades out, then lets the window close.
    bool FormCloseQuery();

    // Loads a Windows bitmap into imageSplash and masks out its grey pixels; raises AppError
    // when the file is missing or is not a readable bitmap.
    void LoadPicture(const QString& fileName);

    void CenterOnScreen();

    QLabel* imageSplash = nullptr;
    // Length of each fade; the fades block the GUI thread for this long.
    int fadeMilliseconds = 1000;

    static constexpr int ClientWidth = 420;
    static constexpr int ClientHeight = 300;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Fade(double from, double to);

    const TfrmCommon* frmCommon;
};
