// The time-window editor of the real main window, driven by mouse and key events.

#include "support/FindChild.h"
#include "support/ShellFixture.h"
#include "support/TestMain.h"

#include "dialogs/TMessageBox.h"
#include "joblist/TTimeWindowEditor.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

class TestTimeWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> fixture;
    TfrmMain* w = nullptr;

    QPoint RowCentre(int row)
    {
        return TestSupport::Child<QTreeWidget>(w, "listViewFiles")->visualItemRect(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(row)).center();
    }
    void ClickRow(int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->viewport(), button, Qt::NoModifier, RowCentre(row));
    }
    QStringList Row(int row)
    {
        QTreeWidgetItem* item = TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(row);
        return {item->text(1), item->text(2)};
    }
    // Replaces an edit's text the way a user does: select all, then type.
    void Type(QLineEdit* edit, const QString& keys)
    {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Home);
        for (QChar c : keys)
            QTest::keyClick(edit, c.toLatin1());
    }

private slots:
    void init()
    {
        fixture = std::make_unique<ShellFixture>();
        w = fixture->Start();
        QApplication::setActiveWindow(w);
        w->AddJobFile(QStringLiteral("/v/first clip.avi"));
        w->AddJobFile(QStringLiteral("/v/second.mkv"));
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
    }
    void cleanup() { fixture.reset(); }

    void opensOnlyForLeftButtonWithSelection()
    {
        // Release on empty space with nothing selected: nothing opens.
        QTest::mouseClick(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 120));
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        ClickRow(1, Qt::RightButton);
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        ClickRow(1);
        QVERIFY(TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        QCOMPARE(TestSupport::Child<QLabel>(w, "LabelEditItemFileName")->text(), QStringLiteral("/v/second.mkv"));
        // A new item opens with start zero and its empty duration shown as zero.
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->text(), QStringLiteral("00:00:00"));
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->text(), QStringLiteral("00:00:00"));
        // The panel's top edge follows the pointer.
        const int pointerInList = TestSupport::Child<QTreeWidget>(w, "listViewFiles")->viewport()->mapTo(TestSupport::Child<QTreeWidget>(w, "listViewFiles"), RowCentre(1)).y();
        QCOMPARE(TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->y(), qMin(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->y() + pointerInList, 479 - 65));
        // An open panel is refilled for another item.
        ClickRow(0);
        QCOMPARE(TestSupport::Child<QLabel>(w, "LabelEditItemFileName")->text(), QStringLiteral("/v/first clip.avi"));
    }

    void okStoresTexts_data()
    {
        QTest::addColumn<QString>("startKeys");
        QTest::addColumn<QString>("durationKeys");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("start and duration") << "000130"
                                            << "000045" << QStringList{"00:01:30", "00:00:45"};
        QTest::newRow("zero duration means to the end") << "000000"
                                                        << "000000" << QStringList{"00:00:00", ""};
        QTest::newRow("letters in the duration are discarded")
            << "000000"
            << "0a0b:0c1x05" << QStringList{"00:00:00", "00:01:05"};
        QTest::newRow("minutes and seconds above 59 accepted")
            << "009999"
            << "010000" << QStringList{"00:99:99", "01:00:00"};
    }
    void okStoresTexts()
    {
        QFETCH(QString, startKeys);
        QFETCH(QString, durationKeys);
        QFETCH(QStringList, stored);
        ClickRow(0);
        Type(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), startKeys);
        Type(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), durationKeys);
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemOK"), Qt::LeftButton);
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        QCOMPARE(Row(0), stored);
        QCOMPARE(Row(1), (QStringList{"00:00:00", ""}));
        QVERIFY(TMessageBox::shownTexts.isEmpty());
        // Reopening shows what was stored.
        ClickRow(0);
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->text(), stored.at(0));
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->text(),
                 stored.at(1).isEmpty() ? QStringLiteral("00:00:00") : stored.at(1));
    }

    void oneHourDigit()
    {
        ClickRow(0);
        // The optional hour digit left empty (deleted), then 1:02:03.
        TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->setFocus();
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), Qt::Key_Home);
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), Qt::Key_Delete);
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), Qt::Key_Right);
        for (char c : QByteArray("10203"))
            QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), c);
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->displayText(), QStringLiteral("_1:02:03"));
        // The same for the duration, all zero: trimmed it is "0:00:00", not "00:00:00".
        TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->setFocus();
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_Home);
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_Delete);
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->displayText(), QStringLiteral("_0:00:00"));
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemOK"), Qt::LeftButton);
        QCOMPARE(Row(0), (QStringList{"1:02:03", "0:00:00"}));
        // Reopened, the single hour digit stays in its place.
        ClickRow(0);
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->displayText(), QStringLiteral("_1:02:03"));
    }

    void cancelKeepsTheItem()
    {
        ClickRow(1);
        Type(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), QStringLiteral("000500"));
        Type(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), QStringLiteral("000010"));
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemCancel"), Qt::LeftButton);
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        QCOMPARE(Row(1), (QStringList{"00:00:00", ""}));
    }

    void removedItemWhileOpen()
    {
        ClickRow(1);
        Type(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), QStringLiteral("000010"));
        TestSupport::Child<QAction>(w, "ActionFileDelete")->trigger();
        QCOMPARE(w->JobCount(), 1);
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemOK"), Qt::LeftButton);
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        QCOMPARE(Row(0), (QStringList{"00:00:00", ""}));
    }

    void incompleteEditIsRefused()
    {
        ClickRow(0);
        TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->setFocus();
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), Qt::Key_End);
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), Qt::Key_Backspace);
        QVERIFY(!TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->hasAcceptableInput());
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemOK"), Qt::LeftButton);
        QTRY_COMPARE(TMessageBox::shownTexts,
                     QStringList{"Invalid input value.  Use escape key to abandon changes"});
        // Nothing stored, the panel stays open, the edit has the focus back.
        QVERIFY(TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        QCOMPARE(Row(0), (QStringList{"00:00:00", ""}));
        QTRY_VERIFY(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->hasFocus());
        // Escape restores the previous text; then OK goes through.
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime"), Qt::Key_Escape);
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "MaskEditFileStartTime")->text(), QStringLiteral("00:00:00"));
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemOK"), Qt::LeftButton);
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
    }

    void cancelAbandonsAnIncompleteEdit()
    {
        ClickRow(0);
        TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->setFocus();
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_End);
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_Backspace);
        QVERIFY(!TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->hasAcceptableInput());
        QTest::mouseClick(TestSupport::Child<QPushButton>(w, "ButtonEditItemCancel"), Qt::LeftButton);
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        QTest::qWait(50);
        QVERIFY(TMessageBox::shownTexts.isEmpty());
        QCOMPARE(Row(0), (QStringList{"00:00:00", ""}));
    }

    void leavingAnIncompleteEditIsRefused()
    {
        ClickRow(0);
        TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->setFocus();
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_End);
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_Backspace);
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        // Tab moves on to the next control; the edit takes the focus back and reports.
        QTest::keyClick(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration"), Qt::Key_Tab);
        QTRY_COMPARE(TMessageBox::shownTexts,
                     QStringList{"Invalid input value.  Use escape key to abandon changes"});
        QTRY_VERIFY(TestSupport::Child<QLineEdit>(w, "MaskEditItemFileDuration")->hasFocus());
    }

    void languageTexts()
    {
        ClickRow(0);
        QCOMPARE(TestSupport::Child<QLabel>(w, "LabelEditItemFile")->text(), QStringLiteral("File:"));
        QCOMPARE(TestSupport::Child<QPushButton>(w, "ButtonEditItemOK")->text(), QStringLiteral("OK"));
        QCOMPARE(TestSupport::Child<QPushButton>(w, "ButtonEditItemCancel")->text(), QStringLiteral("Cancel"));
    }

    void longOrMultiLineNameStaysOnOneLine()
    {
        // A deep path, or a name holding a line break, must not spill over the edits below.
        const QString name =
            QStringLiteral("/v/") + QString(u'x').repeated(300) + QStringLiteral("/two\nlines 视频.avi");
        w->AddJobFile(name);
        ClickRow(2);
        QVERIFY(TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        const QString shown = TestSupport::Child<QLabel>(w, "LabelEditItemFileName")->text();
        QVERIFY(!shown.contains(u'\n'));
        QVERIFY(TestSupport::Child<QLabel>(w, "LabelEditItemFileName")->fontMetrics().horizontalAdvance(shown) <=
                TestSupport::Child<QLabel>(w, "LabelEditItemFileName")->width());
        // The end of the name, which tells files apart, stays in sight; the whole name is the tip.
        QVERIFY(shown.endsWith(QStringLiteral("lines 视频.avi")));
        QCOMPARE(TestSupport::Child<QLabel>(w, "LabelEditItemFileName")->toolTip(), name);
    }
};

VELMORA_GUI_TEST_MAIN(TestTimeWindow)
#include "tst_TimeWindow.moc"
