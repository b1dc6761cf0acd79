// update.EXE: started from the Help menu of the program in the same folder.

#include "TfrmUpdate.h"

#include "skin/ProgramIcon.h"
#include "platform/TfrmCommon.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setWindowIcon(ProgramIcon());
    const TfrmCommon common; // the program folder is this executable's folder
    TfrmUpdate window(&common, QStringLiteral(VELMORA_VERSION));
    window.exec();
    return 0;
}
