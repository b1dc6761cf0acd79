#include "support/TestMain.h"

#include "shell/TApplication.h"

#include <QTest>

#include <memory>

int TestSupport::RunGuiTest(int argc, char** argv, QObject* (*makeTest)())
{
    TApplication app(argc, argv);
    // Made after the application object, as QObjects with widgets need it.
    const std::unique_ptr<QObject> test(makeTest());
    return QTest::qExec(test.get(), argc, argv);
}
