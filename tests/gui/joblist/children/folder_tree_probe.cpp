// Opens the Add Folder window in a plain application object, as the program does (a test
// runner's set-up hides the fault this looks for), and prints where the chosen folder's row is
// once the tree had time to list the folders: "shown" when it lies inside the view.

#include "joblist/TFolderTree.h"
#include "joblist/TFrmBatchAdd.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TFrmBatchAdd window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 2;
    TFolderTree* tree = window.ShellTreeView;
    // The model lists folders in the background; whatever it does, a second is plenty here.
    QTest::qWait(1000);
    const QRect row = tree->visualRect(tree->currentIndex());
    const bool shown = tree->viewport()->rect().contains(row);
    std::printf("%s %s row=%d viewport=%d\n", shown ? "shown" : "hidden", qPrintable(tree->SelectedFolder()),
                row.top(), tree->viewport()->height());
    return 0;
}
