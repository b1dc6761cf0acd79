// The notification at the end of a run, through a private session bus started by the test
// (dbus-daemon) and a small notification service of the test's own that records each call: sent
// when the window is not the active one, with the counts of the run; nothing when the window is
// in front, and nothing said when there is no bus or no service.

#include "support/FindChild.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"

#include "dialogs/TMessageBox.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "engine/TBatchRun.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"
#include "shell/TDesktopNotice.h"
#include "shell/TfrmMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <memory>

using namespace TestSupport;

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString servicePath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

// Stands in for the desktop's notification service and writes down what it is asked.
class TNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct TCall
    {
        QString appName;
        QString summary;
        QString body;
        QStringList hints;
    };
    QList<TCall> calls;

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int)
    {
        calls << TCall{appName, summary, body, hints.keys()};
        return uint(calls.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    // Not part of the service: the test's way to know that whatever was sent before has arrived.
    QString Ping() { return QStringLiteral("pong"); }
};

class tst_EndNotice : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString appFolder;
    QString clip;
    QString junk;
    QProcess daemon;
    TNotificationService service;
    std::unique_ptr<QDBusConnection> serviceBus;

    // Waits until everything the program sent on the session bus before now has reached the
    // service: messages of one connection arrive in order.
    void Flush()
    {
        QDBusPendingCall call = QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(serviceName, servicePath, serviceName, QStringLiteral("Ping")));
        QTRY_VERIFY(call.isFinished());
    }

    // A run of the sources in a window that is or is not the active one; returns the window's
    // texts file for the expected messages.
    QString Convert(const QStringList& sources, bool windowActive)
    {
        QDir(work.path() + "/out").removeRecursively();
        TfrmCommon common(appFolder);
        common.urlOpener = [](const QString&) {};
        TfrmMain frm(&common);
        frm.CreateOtherWindows();
        frm.show();
        QWidget other;
        other.resize(100, 100);
        other.show();
        QWidget* front = windowActive ? static_cast<QWidget*>(&frm) : &other;
        front->activateWindow();
        [&] { QVERIFY(QTest::qWaitForWindowActive(front)); }();
        for (const QString& source : sources)
            frm.AddJobFile(source);
        auto* run = Child<TBatchRun>(&frm, "BatchRun");
        bool inactiveAtEnd = false;
        int finished = 0;
        QObject::connect(run, &TBatchRun::RunFinished, &frm, [&] {
            inactiveAtEnd = !frm.isActiveWindow();
            ++finished;
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        QTest::mouseClick(Child<QPushButton>(&frm, "buttonConvert"), Qt::LeftButton);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(finished == 1, 120000); }();
        [&] { QCOMPARE(inactiveAtEnd, !windowActive); }();
        Child<TfrmUnSupportFormat>(&frm, "frmUnSupportFormat")->hide();
        frm.close();
        return common.languageFile;
    }

    static QString Text(const QString& languageFile, const char* key)
    {
        return IniFile(languageFile).ReadString("frmMain", QLatin1String(key), QString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
        IniFile ini(appFolder + "config.ini");
        ini.WriteInteger("setting", "displayHelpDialog", 0);
        ini.WriteString("setting", "outputFolder", work.path() + "/out");
        clip = work.path() + "/media/clip.avi";
        QVERIFY(MakeClip(clip, 1));
        junk = work.path() + "/media/junk.avi";
        WriteText(junk, "this is not a video at all");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    // First, before any bus is known: no address and no socket in the runtime folder mean no
    // bus, and no bus is started for the notice.
    void noBus()
    {
        QTemporaryDir runtime;
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QVERIFY(!TDesktopNotice::SessionBusKnown());
        QVERIFY(!TDesktopNotice::Send("Velmora", "summary", "body"));
        // A run ends as always.
        TMessageBox::shownTexts.clear();
        const QString texts = Convert({clip}, false);
        QCOMPARE(TMessageBox::shownTexts,
                 QStringList{Text(texts, "msgFolderView") + "\n\n" + Text(texts, "msgFinishInfo")});
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        qputenv("XDG_RUNTIME_DIR", runtimeDir);
        if (address.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    // The private bus and the service on it.
    void startBus()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(daemon.waitForStarted(10000), "dbus-daemon (Debian package dbus) is needed");
        QByteArray address;
        while (!address.contains('\n')) {
            QVERIFY(daemon.waitForReadyRead(10000));
            address += daemon.readAllStandardOutput();
        }
        address = address.trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(TDesktopNotice::SessionBusKnown());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        serviceBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("notifications")));
        QVERIFY(serviceBus->isConnected());
        QVERIFY(serviceBus->registerObject(servicePath, &service, QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus->registerService(serviceName));
    }

    // The window is not in front: "1 file converted, 1 failed", with the program's picture.
    void notifiedWhenNotLooking()
    {
        service.calls.clear();
        const QString texts = Convert({clip, junk}, false);
        QTRY_COMPARE(service.calls.size(), 1);
        const TNotificationService::TCall call = service.calls.first();
        QCOMPARE(call.appName, IniFile(texts).ReadString("App", "Title", ""));
        QCOMPARE(call.summary, Text(texts, "msgNotifyDone"));
        QCOMPARE(call.body, SafeFormat(Text(texts, "msgNotifyConverted_one"), "1") +
                                SafeFormat(Text(texts, "msgNotifyFailed"), "1"));
        QCOMPARE(call.body, QStringLiteral("1 file converted, 1 failed"));
        QVERIFY(call.hints.contains("image-data"));
    }

    // The window in front shows the end itself: nothing is sent.
    void quietWhenLooking()
    {
        service.calls.clear();
        Convert({clip}, true);
        Flush();
        QCOMPARE(service.calls.size(), 0);
    }

    // A bus without the service: the run ends as always, nothing said.
    void noService()
    {
        QVERIFY(serviceBus->unregisterService(serviceName));
        service.calls.clear();
        TMessageBox::shownTexts.clear();
        const QString texts = Convert({clip}, false);
        QCOMPARE(TMessageBox::shownTexts,
                 QStringList{Text(texts, "msgFolderView") + "\n\n" + Text(texts, "msgFinishInfo")});
        QCOMPARE(service.calls.size(), 0);
    }

    void cleanupTestCase()
    {
        if (serviceBus)
            QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
        daemon.kill();
        daemon.waitForFinished(10000);
    }
};

VELMORA_GUI_TEST_MAIN(tst_EndNotice)
#include "tst_EndNotice.moc"
