#pragma once
// Window tests run inside the program's own application object, so an error that escapes a
// handler is reported as the program reports it (through TMessageBox) instead of ending the test.

#include "shell/TApplication.h"

#include <QTest>

#define VELMORA_GUI_TEST_MAIN(TestClass)                                                                     \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        TApplication app(argc, argv);                                                                        \
        TestClass test;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
