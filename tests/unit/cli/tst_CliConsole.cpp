// What velmora-cli lets reach a terminal of a text it did not write itself (file names, the
// encoder's words): no control character that could move the cursor, clear the screen,
// recolour the terminal or set its title.

#include "cli/TCliConsole.h"

#include <QTest>

class tst_CliConsole : public QObject
{
    Q_OBJECT

private slots:
    void printable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain, tab and line feed kept")
            << QStringLiteral(u"clip 1.avi\tdone\n视频 é") << QStringLiteral(u"clip 1.avi\tdone\n视频 é");
        QTest::newRow("escape sequence") << QStringLiteral("\x1b[2J\x1b[31mred") << "^[[2J^[[31mred";
        QTest::newRow("title and bell") << QStringLiteral("\x1b]0;owned\x07") << "^[]0;owned^G";
        QTest::newRow("carriage return and backspace") << QStringLiteral("abc\rx\b") << "abc^Mx^H";
        QTest::newRow("NUL and DEL") << QString(QChar(0)) + QStringLiteral("a\x7f") << "^@a^?";
        // C1 controls are one character; CSI works like ESC [ on many terminals.
        QTest::newRow("C1 CSI") << QString(QChar(0x9b)) + QStringLiteral("31m") << "^[[31m";
        QTest::newRow("C1 OSC and ST")
            << QString(QChar(0x9d)) + QStringLiteral("0;t") + QString(QChar(0x9c)) << "^[]0;t^[\\";
        QTest::newRow("the letter after C1 stays")
            << QString(QChar(0xa0)) + QStringLiteral("x") << QString(QChar(0xa0)) + QStringLiteral("x");
    }
    void printable()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(TCliConsole::Printable(text), shown);
    }
};

QTEST_GUILESS_MAIN(tst_CliConsole)
#include "tst_CliConsole.moc"
