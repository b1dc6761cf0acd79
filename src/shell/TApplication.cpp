#include "shell/TApplication.h"

#include "dialogs/TMessageBox.h"
#include "platform/ExceptionReport.h"
#include "skin/ProgramIcon.h"

#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

bool TApplication::reportOnConsole = false;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Errors caught where a runner notice is handled are shown like those at the loop's edge.
    SetExceptionReporter(&TApplication::ShowException);
    // Every window, dialog and message box takes the program's icon from here.
    setWindowIcon(ProgramIcon());
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(CurrentExceptionText());
    }
    return false;
}

bool TApplication::InstallQtTranslations(bool chineseEdition)
{
    if (qtTranslator) {
        removeTranslator(qtTranslator);
        delete qtTranslator;
        qtTranslator = nullptr;
    }
    if (!chineseEdition)
        return false;
    auto* translator = new QTranslator(this);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !installTranslator(translator)) {
        delete translator;
        return false;
    }
    qtTranslator = translator;
    return true;
}

void TApplication::ShowException(const QString& text)
{
    if (reportOnConsole) {
        std::fprintf(stderr, "velmora: %s\n", text.toLocal8Bit().constData());
        return;
    }
    TMessageBox::ShowError(QApplication::activeWindow(), text);
}

void TApplication::ReportOnConsole()
{
    reportOnConsole = true;
}
