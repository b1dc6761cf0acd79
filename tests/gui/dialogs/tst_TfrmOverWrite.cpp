// The existing-output prompt as the user meets it: the three buttons with and without the check
// box, Enter, Escape and the close box, the remembered answer across items, the captions from
// the language file, and the question that names the file.

#include "dialogs/TfrmOverWrite.h"
#include "engine/OutputNames.h"
#include "platform/IniFile.h"
#include "support/ModalAnswer.h"

#include <QCheckBox>
#include <QDir>
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
    void QuestionNamesTheFile_data();
    void QuestionNamesTheFile();
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

void TestTfrmOverWrite::QuestionNamesTheFile_data()
{
    QTest::addColumn<QString>("language"); // a file of data/language, or the question itself
    QTest::addColumn<QString>("name");     // of the output
    QTest::addColumn<bool>("elided");
    QTest::addColumn<QString>("placing"); // "format": the question holds the name; "before": the
                                          // name stands on a line before it

    const QString longName = QStringLiteral("A holiday at the sea with the whole family, the dog, the boat "
                                            "and far too many pictures of sunsets (part 2 of 7).mp4");
    for (const char* language : {"en.ini", "gb.ini"}) {
        QTest::addRow("%s, a short name", language)
            << QString::fromLatin1(language) << "clip.mp4" << false << "format";
        QTest::addRow("%s, a long name", language)
            << QString::fromLatin1(language) << longName << true << "format";
        QTest::addRow("%s, a long name without blanks", language)
            << QString::fromLatin1(language) << QString(120, QChar(0x89c6)) + ".mkv" << true << "format";
    }
    // A language file of its own, older or broken, still names the file.
    QTest::newRow("a question without the name") << "labelDes=Overwrite it?" << longName << true << "before";
    QTest::newRow("a question that does not format") << "labelDes=%s or %s?"
                                                     << "clip.mp4" << false << "before";
}

void TestTfrmOverWrite::QuestionNamesTheFile()
{
    QFETCH(QString, language);
    QFETCH(QString, name);
    QFETCH(bool, elided);
    QFETCH(QString, placing);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString languageFile = QStringLiteral(VELMORA_SOURCE_DIR "/data/language/") + language;
    if (language.contains(u'=')) {
        languageFile = dir.filePath("own.ini");
        QFile file(languageFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[frmOverWrite]\r\n" + language.toUtf8() + "\r\n");
    }
    const QString question = IniFile(languageFile).ReadString("frmOverWrite", "labelDes", QString());
    QVERIFY(!question.isEmpty());
    const QString path = dir.filePath("out/") + name;

    TfrmOverWrite form;
    form.LoadLanguage(languageFile);
    QString text;
    QString toolTip;
    int width = 0;
    int shownWidth = 0;
    bool fits = false;
    WhenModal([&](QWidget*) {
        text = form.labelDes->text();
        toolTip = form.labelDes->toolTip();
        width = form.labelDes->width();
        shownWidth = form.width();
        fits = form.labelDes->heightForWidth(form.labelDes->width()) <= form.labelDes->height();
        QTest::mouseClick(form.buttonIgnore, Qt::LeftButton);
    });
    QCOMPARE(int(form.Ask(path)), int(owSkipOnce));

    // The name as shown: whole, or its beginning and its end with the middle left out.
    QString shown;
    if (placing == QLatin1String("format")) {
        const qsizetype at = question.indexOf(QLatin1String("%s"));
        const QString after = question.mid(at + 2);
        QVERIFY2(text.startsWith(question.left(at)) && text.endsWith(after), qPrintable(text));
        shown = text.mid(at, text.size() - at - after.size());
    } else {
        QVERIFY2(text.endsWith(u'\n' + question), qPrintable(text));
        shown = text.left(text.size() - question.size() - 1);
    }
    if (elided) {
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
        const qsizetype cut = shown.indexOf(QChar(0x2026));
        QVERIFY(cut > 3 && name.startsWith(shown.left(cut)));
        QVERIFY(shown.size() - cut > 3 && name.endsWith(shown.mid(cut + 1)));
    } else {
        QCOMPARE(shown, name);
    }
    QVERIFY(form.labelDes->fontMetrics().horizontalAdvance(shown) <= width);
    QCOMPARE(toolTip, QDir::toNativeSeparators(path));
    // All of the question can be read, in a window as wide as ever.
    QVERIFY(fits);
    QCOMPARE(shownWidth, 354);
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
