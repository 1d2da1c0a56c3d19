#include "app/TFormMain.h"
#include "core/TClock.h"
#include "core/TFirstGeometry.h"
#include "dialup/TRasApi.h"
#include "mailbox/TFormMailList.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

// Drives the main window against a settings file of its own, without a network.
class tst_FormMain : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startupCreatesListedMailboxes();
    void exitWritesWindowsAndOptions();
    void firstSizeFitsScreen_data();
    void firstSizeFitsScreen();
    void badStoredNumberEndsCreationWithMessage();
    void handEditedHoursStayInsideTheDay();
    void autoCheckItemsStayInverse();
    void deleteCommands();
    void commandsWithStatusActiveEndRed();
    void mailProgramMustBeAnExistingFile();
    void exceptionHookEndsWithoutSaving();
    void scheduledCheckHeldBackByMessageWindow();

private:
    TFormMain* start(const QString& extra = QString());
    QString iniText() const;

    QTemporaryDir* m_dir = nullptr;
    QString m_ini;
    TFormMain* m_main = nullptr;
    QStringList m_dialogs;
};

void tst_FormMain::init()
{
    m_dir = new QTemporaryDir;
    m_ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_dialogs.clear();
    // Every modal window is recorded and closed at once.
    TModal::SetHook([this](QDialog* d) {
        QString text = d->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(d)) {
            text += QLatin1Char('|') + box->text();
        }
        for (QLabel* l : d->findChildren<QLabel*>()) {
            text += QLatin1Char('|') + l->text();
        }
        m_dialogs << text;
        d->reject();
    });
    TClock::SetReal();
}

void tst_FormMain::cleanup()
{
    delete m_main;
    m_main = nullptr;
    TModal::SetHook({});
    TFormMain::SetProgramStarter({});
    TClock::SetReal();
    TRasApi::SetLibraryName(QLatin1String(TRasApi::DefaultLibraryName));
    delete m_dir;
}

TFormMain* tst_FormMain::start(const QString& extra)
{
    QFile f(m_ini);
    if (!f.exists()) {
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("[Option]\nStartupCheck=0\n%1").arg(extra).toUtf8());
        f.close();
    }
    m_main = new TFormMain(m_ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    return m_main;
}

QString tst_FormMain::iniText() const
{
    QFile f(m_ini);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

void tst_FormMain::startupCreatesListedMailboxes()
{
    start(QStringLiteral("[Server]\n0=A\n1=\n2=B\n3=Status\n"));
    QStringList names;
    for (TFormMailList* w : m_main->MailboxWindows()) {
        names << w->windowTitle();
    }
    // "Status" gets a window but is never taken for a mailbox window.
    QCOMPARE(names, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(m_main->MdiArea()->subWindowList().size(), 4);
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("3"));
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Ready"));
    QVERIFY(!m_main->Busy());
}

void tst_FormMain::exitWritesWindowsAndOptions()
{
    start(QStringLiteral("NoSound=2\nAutoLoad=yes\n[Windows]\nMainWidth=0x1F0\nMainHeight=300\n[Server]\n0=Home\n"));
    QCOMPARE(m_main->width(), 496);
    QVERIFY(m_main->MenuNoSound->isChecked());
    QVERIFY(!m_main->MenuAutoLoad->isChecked());
    m_main->MenuExit->trigger();
    TIniFile ini(m_ini);
    QCOMPARE(ini.ReadString(QStringLiteral("Windows"), QStringLiteral("MainWidth"), QString()), QStringLiteral("496"));
    QCOMPARE(ini.ReadString(QStringLiteral("Windows"), QStringLiteral("MainHeight"), QString()), QStringLiteral("300"));
    QCOMPARE(ini.ReadString(QStringLiteral("Option"), QStringLiteral("NoSound"), QString()), QStringLiteral("1"));
    QCOMPARE(ini.ReadString(QStringLiteral("Option"), QStringLiteral("AutoLoad"), QString()), QStringLiteral("0"));
    QCOMPARE(ini.ReadString(QStringLiteral("Option"), QStringLiteral("StartupCheck"), QString()), QStringLiteral("0"));
    QVERIFY(ini.SectionExists(QStringLiteral("Home")));
    for (const char* key : {"Top", "Left", "Height", "Column0", "Column5"}) {
        QVERIFY2(!ini.ReadString(QStringLiteral("Home"), QLatin1String(key), QString()).isEmpty(), key);
    }
    QVERIFY(!ini.ReadString(QStringLiteral("Windows"), QStringLiteral("StatusTop"), QString()).isEmpty());
}

void tst_FormMain::firstSizeFitsScreen_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QRect>("expected"); // empty: the screen's rule
    QTest::newRow("first start") << QString() << QRect();
    QTest::newRow("stored size and place")
        << QStringLiteral("[Windows]\nMainLeft=10\nMainTop=20\nMainWidth=500\nMainHeight=300\n")
        << QRect(10, 20, 500, 300);
    QTest::newRow("stored size only") << QStringLiteral("[Windows]\nMainWidth=700\nMainHeight=410\n")
                                      << QRect(0, 0, 700, 410);
}

void tst_FormMain::firstSizeFitsScreen()
{
    QFETCH(QString, stored);
    QFETCH(QRect, expected);
    start(stored);
    if (expected.isEmpty()) {
        const QRect available = m_main->screen()->availableGeometry();
        expected = TFirstGeometry::MainWindow(available);
        QVERIFY(available.contains(m_main->geometry()));
    }
    QCOMPARE(m_main->size(), expected.size());
    QCOMPARE(m_main->pos(), expected.topLeft());
    // A mailbox added now has no stored geometry either: its columns are not the old 50 pixels.
    TFormMailList* box = m_main->CreateMailbox(QStringLiteral("New"));
    QVERIFY(box->ColorStringGrid->ColWidths(3) > 100);
    QVERIFY(box->width() <= m_main->MdiArea()->viewport()->width());
}

void tst_FormMain::badStoredNumberEndsCreationWithMessage()
{
    TRasApi::SetLibraryName(m_dir->filePath(QStringLiteral("librasapi32-missing.so")));
    start(QStringLiteral("[DialUp]\nEnableDiapUp=1\nRedialInterval=abc\n[Schedule]\nScheduleCheck=1\nSchedule=6\n"));
    QCOMPARE(m_dialogs.size(), 1);
    QVERIFY2(m_dialogs.first().contains(QStringLiteral("'abc' is not a valid integer value")),
             qPrintable(m_dialogs.first()));
    // Everything after the failing step keeps its initial value, and start-up goes on.
    QVERIFY(!m_main->State().ScheduleCheck);
    QVERIFY(!m_main->State().ScheduleHours[5]);
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Ready"));
    // The library probe runs all the same: without the library a check does not try to dial.
    QVERIFY(!m_main->State().DialUpEnabled);
    m_main->MenuCheck->trigger();
    QCOMPARE(m_dialogs.size(), 1);
}

void tst_FormMain::handEditedHoursStayInsideTheDay()
{
    start(QStringLiteral("[Schedule]\nScheduleCheck=1\nSchedule=0,25,6,-3,24\n"));
    QVERIFY(m_dialogs.isEmpty());
    int set = 0;
    for (bool h : m_main->State().ScheduleHours) {
        set += h ? 1 : 0;
    }
    QCOMPARE(set, 2);
    QVERIFY(m_main->State().ScheduleHours[5]);
    QVERIFY(m_main->State().ScheduleHours[23]);
}

void tst_FormMain::autoCheckItemsStayInverse()
{
    start();
    QVERIFY(m_main->MenuAutoCheck->isChecked());
    QVERIFY(!m_main->PopMenuDisable->isChecked());
    m_main->PopMenuDisable->trigger();
    QVERIFY(m_main->PopMenuDisable->isChecked());
    QVERIFY(!m_main->MenuAutoCheck->isChecked());
    m_main->MenuAutoCheck->trigger();
    QVERIFY(m_main->MenuAutoCheck->isChecked());
    QVERIFY(!m_main->PopMenuDisable->isChecked());
    m_main->PopMenuDisable->trigger();
    m_main->close();
    TIniFile ini(m_ini);
    QCOMPARE(ini.ReadString(QStringLiteral("Option"), QStringLiteral("AutoCheck"), QString()), QStringLiteral("0"));
}

static void fill(TFormMailList* w, const QStringList& markers)
{
    w->List().Clear();
    for (int i = 0; i < markers.size(); ++i) {
        TMailRow row;
        row.Mark = TMailListModel::MarkFromText(markers[i]);
        row.Number = i + 1;
        w->List().Append(row);
    }
}

static QStringList markers(TFormMailList* w)
{
    QStringList out;
    for (int row = 1; row < w->ColorStringGrid->RowCount(); ++row) {
        out << w->ColorStringGrid->Cells(0, row);
    }
    return out;
}

void tst_FormMain::deleteCommands()
{
    start(QStringLiteral("[Server]\n0=A\n1=B\n"));
    TFormMailList* a = m_main->MailboxWindows().at(0);
    TFormMailList* b = m_main->MailboxWindows().at(1);
    fill(a, {QStringLiteral("*"), QString(), QStringLiteral("*")});
    fill(b, {QString(), QStringLiteral("*")});
    m_main->MdiArea()->setActiveSubWindow(a);
    QCOMPARE(m_main->ActiveMailbox(), a);

    // With the mail count at 0 nothing changes.
    FormStatus->SetCell(1, QStringLiteral("0"));
    a->ColorStringGrid->SetRow(2);
    m_main->MenuDeleteOne->trigger();
    QCOMPARE(markers(a), (QStringList{QStringLiteral("*"), QString(), QStringLiteral("*")}));

    FormStatus->SetCell(1, QStringLiteral("5"));
    a->ColorStringGrid->SetRow(1);
    m_main->MenuDeleteOne->trigger();
    QCOMPARE(markers(a), (QStringList{QStringLiteral("x"), QString(), QStringLiteral("*")}));
    QCOMPARE(FormStatus->Cell(2), QStringLiteral("2"));

    // Undelete one leaves a new mark alone.
    a->ColorStringGrid->SetRow(3);
    m_main->MenuUndeleteOne->trigger();
    QCOMPARE(markers(a).at(2), QStringLiteral("*"));

    m_main->MenuDeleteAll->trigger();
    QCOMPARE(markers(b), (QStringList{QStringLiteral("x"), QStringLiteral("x")}));
    QCOMPARE(FormStatus->Cell(2), QStringLiteral("0"));
    m_main->MenuUndeleteAll->trigger();
    QCOMPARE(markers(a), (QStringList{QString(), QString(), QString()}));
    QCOMPARE(markers(b), (QStringList{QString(), QString()}));
    QCOMPARE(FormStatus->Cell(2), QStringLiteral("0"));

    // The mailbox window's own pop-up item marks its selected row.
    a->ColorStringGrid->SetRow(2);
    a->PopMenuDelete->trigger();
    QCOMPARE(markers(a).at(1), QStringLiteral("x"));
    a->PopMenuUndelete->trigger();
    QCOMPARE(markers(a).at(1), QString());
}

void tst_FormMain::commandsWithStatusActiveEndRed()
{
    start(QStringLiteral("[Server]\n0=A\n"));
    TFormMailList* a = m_main->MailboxWindows().at(0);
    fill(a, {QString()});
    FormStatus->SetCell(1, QStringLiteral("1"));
    m_main->MdiArea()->setActiveSubWindow(FormStatus);
    a->ColorStringGrid->SetRow(1);
    m_main->MenuDeleteAll->trigger();
    QCOMPARE(markers(a), QStringList{QString()});
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
    FormStatus->LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    m_main->MenuView->trigger();
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
}

void tst_FormMain::mailProgramMustBeAnExistingFile()
{
    const QString marker = m_dir->filePath(QStringLiteral("started"));
    const QString script = m_dir->filePath(QStringLiteral("mail.sh"));
    QFile s(script);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    s.close();
    s.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QStringList started;
    TFormMain::SetProgramStarter([&started](const QString& program, const QString&) { started << program; });
    start(QStringLiteral("[General]\nMailProgram=%1 --compose\n").arg(script));
    m_main->MenuLoad->trigger();
    QVERIFY(started.isEmpty());
    m_main->State().MailProgramPath = script;
    m_main->MenuLoad->trigger();
    QCOMPARE(started, QStringList{QFileInfo(script).absoluteFilePath()});

    // The real start runs the program itself.
    TFormMain::SetProgramStarter({});
    m_main->MenuLoad->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
}

void tst_FormMain::exceptionHookEndsWithoutSaving()
{
    start(QStringLiteral("[Windows]\nMainWidth=500\n"));
    const QString before = iniText();
    m_main->resize(700, 400);
    m_main->MenuStayOnTop->trigger();
    m_main->OnException(QStringLiteral("boom"));
    QVERIFY(m_main->Terminated());
    QCOMPARE(m_dialogs.size(), 1);
    QVERIFY(m_dialogs.first().contains(QStringLiteral("Mailvane Kernel")));
    m_main->close();
    QCOMPARE(iniText(), before);
}

void tst_FormMain::scheduledCheckHeldBackByMessageWindow()
{
    TClock::SetFixed(QDateTime(QDate(2026, 3, 10), QTime(10, 0)));
    start(QStringLiteral("[Schedule]\nAutoCheck=5\n"));
    const double due = m_main->State().NextCheckTime;
    TClock::Advance(5 * 60 * 1000);
    auto* message = new QDialog;
    message->setWindowTitle(QStringLiteral("Message"));
    message->show();
    FormStatus->SetCell(1, QStringLiteral("7"));
    m_main->TimerTimer();
    // The next check time moves on, but this check is skipped.
    QVERIFY(m_main->State().NextCheckTime > due);
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("7"));
    // The check command is never held back.
    m_main->MenuCheck->trigger();
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("0"));
    // Gone, as the program's message window is once it closes.
    delete message;
    FormStatus->SetCell(1, QStringLiteral("7"));
    TClock::Advance(5 * 60 * 1000);
    m_main->TimerTimer();
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("0"));
}

QTEST_MAIN(tst_FormMain)
#include "tst_FormMain.moc"
