#pragma once
// Permission checks the superuser passes by: the current test function runs once more as the
// unprivileged user "nobody", in a process of its own, and the caller takes its verdict.

#include <QString>

namespace TestSupport {

// True when the test runs as the superuser and its function must be run again as "nobody".
bool RunningAsRoot();

// Runs the current test function (the current row of a data-driven one) again as "nobody";
// returns an empty text when it passed, else what it printed. Sets skipped when such a run is
// impossible here (the test program lies where that user cannot reach it).
QString RerunAsNobody(bool& skipped);

} // namespace TestSupport

// In a test function: as the superuser, the function's verdict is the one of its run as
// "nobody"; otherwise the function goes on.
#define VELMORA_RUN_AS_NOBODY_WHEN_ROOT()                                                                    \
    do {                                                                                                     \
        if (TestSupport::RunningAsRoot()) {                                                                  \
            bool skipped = false;                                                                            \
            const QString failure = TestSupport::RerunAsNobody(skipped);                                     \
            if (skipped)                                                                                     \
                QSKIP(qPrintable(failure));                                                                  \
            QVERIFY2(failure.isEmpty(), qPrintable(failure));                                                \
            return;                                                                                          \
        }                                                                                                    \
    } while (false)
