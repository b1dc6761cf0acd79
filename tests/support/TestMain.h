#pragma once
// Window tests run inside the program's own application object, so an error that escapes a
// handler is reported as the program reports it (through TMessageBox) instead of ending the test.

#include <QObject>

namespace TestSupport {

// Creates the program's application object and runs the test object's slots in it.
int RunGuiTest(int argc, char** argv, QObject* (*makeTest)());

} // namespace TestSupport

#define VELMORA_GUI_TEST_MAIN(TestClass)                                                                     \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        return TestSupport::RunGuiTest(argc, argv, [] { return static_cast<QObject*>(new TestClass); });     \
    }
