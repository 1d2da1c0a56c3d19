#include "app/TFormMain.h"
#include "options/TFormOption.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TDovecot.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Run by wayland_smoke.sh on a headless weston: Qt's Wayland platform, no tray, no
// positions, no input injection.
class tst_WaylandSmoke : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void programChecksAndEndsOnSigterm();
    void frameAndOptionsDialog();
};

void tst_WaylandSmoke::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
}

void tst_WaylandSmoke::programChecksAndEndsOnSigterm()
{
    QString why;
    if (!TDovecot::Available(&why)) {
        QSKIP(qPrintable(why));
    }
    TDovecot server;
    QString error;
    QVERIFY2(server.Start(&error), qPrintable(error));
    server.AddMessage(TDovecot::MakeMessage("<one@wayland>", "Alice <a@test>", "First"));
    server.AddMessage(TDovecot::MakeMessage("<two@wayland>", "Bob <b@test>", "Second"));

    // The settings file lives beside the executable: a copy of it in a folder of the test's own.
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("mailvane"));
    QVERIFY(QFile::copy(QStringLiteral(MV_MAILVANE_PATH), exe));
    const QString iniPath = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        TVarnEncryption scrambler;
        scrambler.Key = QStringLiteral("Q-Lumen");
        TIniFile ini(iniPath);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), true);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("UseKeyring"), false);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("DesktopNotify"), false);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("NoSound"), true);
        ini.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("Dove"));
        ini.WriteString(QStringLiteral("Dove"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        ini.WriteString(QStringLiteral("Dove"), QStringLiteral("Port"), QString::number(server.Port()));
        ini.WriteString(QStringLiteral("Dove"), QStringLiteral("Login"), server.User());
        ini.WriteString(QStringLiteral("Dove"), QStringLiteral("Password"), scrambler.Scramble(server.Password()));
    }

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(exe, {});
    QVERIFY(program.waitForStarted());
    // However the test ends, no copy is left running on the compositor.
    const auto stop = qScopeGuard([&] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(3000);
        }
    });
    const auto seen = [&] { return TIniFile(iniPath).ReadSection(QStringLiteral("IDs:Dove")).size(); };
    // The start-up check reads both messages and records them as seen.
    QTRY_COMPARE_WITH_TIMEOUT(seen(), 2, 15000);
    QCOMPARE(program.state(), QProcess::Running);

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // Ended through the normal close: the frame's size and the mailbox's columns were saved.
    const TIniFile ini(iniPath);
    QVERIFY(!ini.ReadString(QStringLiteral("Windows"), QStringLiteral("MainWidth"), QString()).isEmpty());
    QVERIFY(!ini.ReadString(QStringLiteral("Dove"), QStringLiteral("Column5"), QString()).isEmpty());
}

void tst_WaylandSmoke::frameAndOptionsDialog()
{
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("Mailvane.ini"));
    TIniFile(iniPath).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    TIniFile(iniPath).WriteBool(QStringLiteral("Option"), QStringLiteral("ShowWelcome"), false);
    auto* main = new TFormMain(iniPath);
    main->show();
    main->CreateStatusWindow();
    main->Startings();
    QVERIFY(QTest::qWaitForWindowExposed(main));

    // The options dialog opens for real and is closed from inside its own loop.
    QString seenTitle;
    bool noteShown = false;
    QTimer::singleShot(0, main, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            seenTitle = dialog->windowTitle();
            if (auto* note = dialog->findChild<QLabel*>(QStringLiteral("LabelOwnWindowsOnly"))) {
                noteShown = !note->isHidden();
            }
            dialog->reject();
        }
    });
    main->MenuOptionPagesClick(main->MenuSchedule);
    QCOMPARE(seenTitle, QStringLiteral("Option"));
    QVERIFY(noteShown);

    // Minimised with no tray: still a window of the program, within reach.
    main->showMinimized();
    QTRY_VERIFY(main->isMinimized());
    QVERIFY(main->isVisible());
    main->close();
    delete main;
}

QTEST_MAIN(tst_WaylandSmoke)
#include "tst_WaylandSmoke.moc"
