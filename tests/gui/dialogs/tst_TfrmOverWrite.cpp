// The existing-output prompt as the user meets it: the three buttons with and without the check
// box, Enter, Escape and the close box, the remembered answer across items, and the captions
// from the language file.

#include "dialogs/TfrmOverWrite.h"
#include "engine/OutputNames.h"
#include "support/ModalAnswer.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Act
{
    OverWrite,
    Ignore,
    AutoName,
    Enter,
    Escape,
    CloseBox,
};

void Perform(TfrmOverWrite* form, Act act)
{
    switch (act) {
    case Act::OverWrite:
        QTest::mouseClick(form->buttonOverWrite, Qt::LeftButton);
        break;
    case Act::Ignore:
        QTest::mouseClick(form->buttonIgnore, Qt::LeftButton);
        break;
    case Act::AutoName:
        QTest::mouseClick(form->buttonAutoName, Qt::LeftButton);
        break;
    case Act::Enter:
        QTest::keyClick(form, Qt::Key_Return);
        break;
    case Act::Escape:
        QTest::keyClick(form, Qt::Key_Escape);
        break;
    case Act::CloseBox:
        form->close();
        break;
    }
}

// Answers the prompt the next time it shows: ticks the box as asked, then acts.
void AnswerPrompt(TfrmOverWrite* form, bool tick, Act act)
{
    WhenModal([=](QWidget* modal) {
        if (modal != form)
            return;
        form->checkBoxNotice->setChecked(tick);
        Perform(form, act);
    });
}

void Touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old");
}

} // namespace

class TestTfrmOverWrite : public QObject
{
    Q_OBJECT

private slots:
    void Ask_data();
    void Ask();
    void CloseBoxForgetsTheLastAnswer();
    void CheckBoxKeepsItsState();
    void EnterOnAFocusedButton();
    void ResolveRemembersAcrossItems_data();
    void ResolveRemembersAcrossItems();
    void LoadLanguage();
    void LooksLikeTheDialog();
};

void TestTfrmOverWrite::Ask_data()
{
    QTest::addColumn<int>("act");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<int>("answer");

    QTest::newRow("overwrite") << int(Act::OverWrite) << false << int(owOverwriteOnce);
    QTest::newRow("overwrite, always") << int(Act::OverWrite) << true << int(owOverwriteAlways);
    QTest::newRow("ignore") << int(Act::Ignore) << false << int(owSkipOnce);
    QTest::newRow("ignore, always") << int(Act::Ignore) << true << int(owSkipAlways);
    QTest::newRow("auto name") << int(Act::AutoName) << false << int(owAutoNameOnce);
    QTest::newRow("auto name, always") << int(Act::AutoName) << true << int(owAutoNameAlways);
    QTest::newRow("Enter is auto name") << int(Act::Enter) << false << int(owAutoNameOnce);
    QTest::newRow("Enter is auto name, always") << int(Act::Enter) << true << int(owAutoNameAlways);
    QTest::newRow("Escape skips") << int(Act::Escape) << true << int(owSkipOnce);
    QTest::newRow("close box skips, remembers nothing") << int(Act::CloseBox) << true << int(owSkipOnce);
}

void TestTfrmOverWrite::Ask()
{
    QFETCH(int, act);
    QFETCH(bool, tick);
    QFETCH(int, answer);

    TfrmOverWrite form;
    AnswerPrompt(&form, tick, Act(act));
    QCOMPARE(int(form.Ask()), answer);
    QCOMPARE(int(form.answer), answer);
    QVERIFY(!form.isVisible());
}

void TestTfrmOverWrite::CloseBoxForgetsTheLastAnswer()
{
    TfrmOverWrite form;
    AnswerPrompt(&form, true, Act::OverWrite);
    QCOMPARE(int(form.Ask()), int(owOverwriteAlways));
    AnswerPrompt(&form, true, Act::CloseBox);
    QCOMPARE(int(form.Ask()), int(owSkipOnce));
}

void TestTfrmOverWrite::CheckBoxKeepsItsState()
{
    TfrmOverWrite form;
    QVERIFY(!form.checkBoxNotice->isChecked());
    AnswerPrompt(&form, true, Act::Ignore);
    form.Ask();

    bool tickedOnSecondShow = false;
    WhenModal([&](QWidget*) {
        tickedOnSecondShow = form.checkBoxNotice->isChecked();
        QTest::mouseClick(form.buttonAutoName, Qt::LeftButton);
    });
    QCOMPARE(int(form.Ask()), int(owAutoNameAlways));
    QVERIFY(tickedOnSecondShow);
}

void TestTfrmOverWrite::EnterOnAFocusedButton()
{
    TfrmOverWrite form;
    WhenModal([&](QWidget*) {
        form.buttonOverWrite->setFocus();
        QTest::keyClick(&form, Qt::Key_Return);
    });
    QCOMPARE(int(form.Ask()), int(owOverwriteOnce));

    // The next question starts on the default button again.
    WhenModal([&](QWidget*) { QTest::keyClick(&form, Qt::Key_Return); });
    QCOMPARE(int(form.Ask()), int(owAutoNameOnce));
}

void TestTfrmOverWrite::ResolveRemembersAcrossItems_data()
{
    QTest::addColumn<int>("act");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<int>("shows");       // prompts for three existing outputs
    QTest::addColumn<QString>("written"); // per item: o = same path, a = automatic name, - = skipped

    QTest::newRow("overwrite once") << int(Act::OverWrite) << false << 3 << "ooo";
    QTest::newRow("overwrite always") << int(Act::OverWrite) << true << 1 << "ooo";
    QTest::newRow("ignore once") << int(Act::Ignore) << false << 3 << "---";
    QTest::newRow("ignore always") << int(Act::Ignore) << true << 1 << "---";
    QTest::newRow("auto name always") << int(Act::AutoName) << true << 1 << "aaa";
    QTest::newRow("close box, box ticked") << int(Act::CloseBox) << true << 3 << "---";
}

void TestTfrmOverWrite::ResolveRemembersAcrossItems()
{
    QFETCH(int, act);
    QFETCH(bool, tick);
    QFETCH(int, shows);
    QFETCH(QString, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TfrmOverWrite form;
    quint8 overwriteAnswer = 0;
    int shown = 0;
    QString outcome;
    const ModalResponder responder([&](QWidget* modal) {
        if (modal != &form)
            return;
        ++shown;
        form.checkBoxNotice->setChecked(tick);
        Perform(&form, Act(act));
    });
    for (int item = 0; item < 3; ++item) {
        const QString path = dir.filePath(QStringLiteral("clip %1 ä.mp4").arg(item));
        Touch(path);
        const QString result = form.ResolveOutputName(path, overwriteAnswer);
        outcome += result.isEmpty() ? u'-' : result == path ? u'o' : result == path + "(1).mp4" ? u'a' : u'?';
    }
    QCOMPARE(outcome, written);
    QCOMPARE(shown, shows);

    // A free output path never shows the prompt.
    const QString free = dir.filePath("free.mp4");
    QCOMPARE(form.ResolveOutputName(free, overwriteAnswer), free);
    QCOMPARE(shown, shows);
}

void TestTfrmOverWrite::LoadLanguage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString language = dir.filePath("en.ini");
    QFile file(language);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[frmOverWrite]\r\ncaption=File exists\r\nlabelDes=\"  The file exists. Overwrite it?  \"\r\n"
               "BUTTONOVERWRITE=&Overwrite\r\nbuttonIgnore=&Skip\r\nbuttonAutoName=&Rename\r\n");
    file.close();

    TfrmOverWrite form;
    form.LoadLanguage(language);
    QCOMPARE(form.windowTitle(), QStringLiteral("File exists"));
    QCOMPARE(form.labelDes->text(), QStringLiteral("  The file exists. Overwrite it?  "));
    QCOMPARE(form.buttonOverWrite->text(), QStringLiteral("&Overwrite"));
    QCOMPARE(form.buttonIgnore->text(), QStringLiteral("&Skip"));
    QCOMPARE(form.buttonAutoName->text(), QStringLiteral("&Rename"));
    // No key, no text: the design-time text does not survive.
    QCOMPARE(form.checkBoxNotice->text(), QString());

    // The accelerator of a caption works.
    WhenModal([&](QWidget*) { QTest::keyClick(&form, Qt::Key_R, Qt::AltModifier); });
    QCOMPARE(int(form.Ask()), int(owAutoNameOnce));
}

void TestTfrmOverWrite::LooksLikeTheDialog()
{
    TfrmOverWrite form;
    QVERIFY(form.buttonAutoName->isDefault());
    QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
    QCOMPARE(form.size(), QSize(354, 118));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.labelDes->font().bold());
    QCOMPARE(form.labelDes->text(), QStringLiteral("文件已存在，是否覆盖？"));
}

QTEST_MAIN(TestTfrmOverWrite)
#include "tst_TfrmOverWrite.moc"
