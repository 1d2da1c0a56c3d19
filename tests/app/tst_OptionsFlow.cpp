#include "app/TFormMain.h"
#include "mailbox/TFormMailList.h"
#include "net/TSockets.h"
#include "options/TFormOption.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// A new user sets up a mailbox through the options dialog alone, checks it, and deletes it.
class tst_OptionsFlow : public QObject {
    Q_OBJECT
private slots:
    void setUpCheckAndDeleteWithoutRestart();
    void optionCommandsOpenTheirPage();
    void updateInOtherLetterCaseReachesTheWindow();
};

void tst_OptionsFlow::setUpCheckAndDeleteWithoutRestart()
{
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        // Only the start-up check is switched off; everything else starts from nothing.
        TIniFile ini(iniPath);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    }
    TFormMain main(iniPath);
    main.show();
    main.CreateStatusWindow();
    main.Startings();
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("0"));

    QStringList messages;
    TModal::SetHook([&](QDialog* d) {
        if (auto* option = qobject_cast<TFormOption*>(d)) {
            QCOMPARE(option->PageControl->currentWidget()->objectName(), QStringLiteral("TabSheetNetwork"));
            option->EditName->setText(QStringLiteral("Home"));
            option->EditHost->setText(QStringLiteral("127.0.0.1"));
            option->EditLogin->setText(QStringLiteral("user"));
            option->EditPassword->setText(QStringLiteral("pass"));
            option->ButtonAdd->click();
            option->close();
        } else {
            QString text = d->windowTitle();
            for (QLabel* l : d->findChildren<QLabel*>()) {
                text += QLatin1Char('|') + l->text();
            }
            messages << text;
            d->accept();
        }
    });
    main.MenuNetwork->trigger();
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
    QCOMPARE(main.MailboxWindows().size(), 1);
    TFormMailList* home = main.MailboxWindows().first();
    QCOMPARE(home->windowTitle(), QStringLiteral("Home"));
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("1"));
    TIniFile ini(iniPath);
    QCOMPARE(ini.ReadString(QStringLiteral("Server"), QStringLiteral("0"), QString()), QStringLiteral("Home"));
    QVERIFY(!ini.ReadString(QStringLiteral("Home"), QStringLiteral("Password"), QString()).isEmpty());
    QVERIFY(ini.ReadString(QStringLiteral("Home"), QStringLiteral("Password"), QString()) != QLatin1String("pass"));

    TScriptServer server;
    server.serveMailbox({QByteArray("Message-ID: <1@x>\nFrom: a@b\nSubject: hello\n\nbody\n")});
    TIniFile(iniPath).WriteString(home->MailboxName(), QStringLiteral("Port"), QString::number(server.port()));
    main.MenuCheck->trigger();
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
    QCOMPARE(home->ColorStringGrid->Cells(5, 1), QStringLiteral("hello"));
    QCOMPARE(FormStatus->Cell(2), QStringLiteral("1"));
    QVERIFY(ini.SectionExists(QStringLiteral("IDs:Home")));

    TModal::SetHook([&](QDialog* d) {
        if (auto* option = qobject_cast<TFormOption*>(d)) {
            option->ListBoxName->setCurrentRow(0);
            option->ListBoxNameClick();
            option->ButtonDelete->click();
            option->close();
        } else {
            messages << d->windowTitle();
            d->accept();
        }
    });
    main.MenuNetwork->trigger();
    QVERIFY(messages.isEmpty());
    QTRY_VERIFY(main.MailboxWindows().isEmpty());
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("0"));
    QVERIFY(!ini.SectionExists(QStringLiteral("Home")));
    QVERIFY(!ini.SectionExists(QStringLiteral("IDs:Home")));
    QCOMPARE(ini.ReadString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("?")), QString());
    TModal::SetHook({});
}

void tst_OptionsFlow::optionCommandsOpenTheirPage()
{
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("Mailvane.ini"));
    TIniFile(iniPath).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    TFormMain main(iniPath);
    main.show();
    main.CreateStatusWindow();
    main.Startings();
    QString page;
    TModal::SetHook([&](QDialog* d) {
        if (auto* option = qobject_cast<TFormOption*>(d)) {
            page = option->PageControl->currentWidget()->objectName();
            option->close();
        } else {
            d->accept();
        }
    });
    const QList<QPair<QObject*, QString>> cases{
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.MenuGeneral), QStringLiteral("TabSheetGeneral")),
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.MenuNetwork), QStringLiteral("TabSheetNetwork")),
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.MenuEffect), QStringLiteral("TabSheetEffect")),
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.MenuDialUp), QStringLiteral("TabSheetDialUp")),
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.MenuFilter), QStringLiteral("TabSheetFilter")),
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.MenuSchedule), QStringLiteral("TabSheetSchedule")),
        qMakePair<QObject*, QString>(static_cast<QObject*>(main.SpeedButtonOption), QStringLiteral("TabSheetGeneral"))};
    for (const auto& c : cases) {
        page.clear();
        main.MenuOptionPagesClick(c.first);
        QCOMPARE(page, c.second);
    }
    TModal::SetHook({});
}

void tst_OptionsFlow::updateInOtherLetterCaseReachesTheWindow()
{
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        TIniFile ini(iniPath);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
        ini.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("Home"));
        ini.WriteString(QStringLiteral("Home"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        ini.WriteString(QStringLiteral("Home"), QStringLiteral("Login"), QStringLiteral("user"));
    }
    TFormMain main(iniPath);
    main.show();
    main.CreateStatusWindow();
    main.Startings();
    TFormMailList* home = main.MailboxWindows().value(0);
    QVERIFY(home);
    home->SetPassword(QStringLiteral("old"));

    TModal::SetHook([&](QDialog* d) {
        if (auto* option = qobject_cast<TFormOption*>(d)) {
            option->EditName->setText(QStringLiteral("home"));
            option->EditPassword->setText(QStringLiteral("new"));
            option->ButtonUpdate->click();
            option->close();
        } else {
            d->accept();
        }
    });
    main.MenuNetwork->trigger();
    TModal::SetHook({});
    QCOMPARE(home->Password(), QStringLiteral("new"));
}

QTEST_MAIN(tst_OptionsFlow)
#include "tst_OptionsFlow.moc"
