#include "mailbox/TFormPassword.h"
#include "testsupport/TFakeMailHost.h"
#include "widgets/TModal.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class tst_FormPassword : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TModal::SetHook({}); }
    void design();
    void handOver_data();
    void handOver();
};

void tst_FormPassword::design()
{
    TFakeMailHost host;
    TFormPassword prompt(&host);
    QCOMPARE(prompt.windowTitle(), QStringLiteral("Password"));
    QVERIFY(prompt.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(prompt.minimumSize(), prompt.maximumSize());
    QCOMPARE(prompt.Label1->text(), QStringLiteral("請輸入密碼"));
    QCOMPARE(prompt.EditPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(prompt.ButtonOK->text(), QStringLiteral("確定"));
    QVERIFY(prompt.findChild<QWidget*>(QStringLiteral("solTile")));
}

void tst_FormPassword::handOver_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << "Box"
                           << "secret"
                           << "enter" << int(QDialog::Accepted);
    QTest::newRow("button") << "Box"
                            << "s2"
                            << "button" << int(QDialog::Accepted);
    QTest::newRow("system close, nothing typed") << "Box" << QString() << "close" << int(QDialog::Rejected);
    QTest::newRow("console") << "Console"
                             << "guard"
                             << "enter" << int(QDialog::Accepted);
}

void tst_FormPassword::handOver()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(int, result);
    TFakeMailHost host;
    QStringList console;
    TFormPassword prompt(&host, [&](const QString& text) { console.append(text); });
    prompt.SetName(name);
    bool focused = false;
    TModal::SetHook([&](QDialog* dialog) {
        QCOMPARE(dialog, &prompt);
        focused = prompt.focusWidget() == prompt.EditPassword;
        if (!typed.isEmpty()) {
            QTest::keyClicks(prompt.EditPassword, typed);
        }
        if (how == QLatin1String("enter")) {
            QTest::keyClick(prompt.EditPassword, Qt::Key_Return);
        } else if (how == QLatin1String("button")) {
            prompt.ButtonOK->click();
        } else {
            prompt.close();
        }
    });
    QCOMPARE(TModal::Exec(&prompt), result);
    QVERIFY(focused);
    if (name == QLatin1String("Console")) {
        QCOMPARE(console, QStringList({typed}));
        QVERIFY(host.Delivered.isEmpty());
    } else {
        QVERIFY(console.isEmpty());
        QCOMPARE(host.Delivered, (QList<QPair<QString, QString>>{{name, typed}}));
    }
}

QTEST_MAIN(tst_FormPassword)
#include "tst_FormPassword.moc"
