#include "welcome/TFormWelcome.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

// The welcome window on its own: which buttons it offers and what choosing one leaves.
class tst_FormWelcome : public QObject {
    Q_OBJECT
private slots:
    void demoButtonFollowsTheList_data();
    void demoButtonFollowsTheList();
    void eachButtonIsAChoice_data();
    void eachButtonIsAChoice();
    void checkBoxSaysWhetherToComeBack();
};

void tst_FormWelcome::demoButtonFollowsTheList_data()
{
    QTest::addColumn<bool>("demoListed");
    QTest::newRow("no demo") << false;
    QTest::newRow("demo listed") << true;
}

void tst_FormWelcome::demoButtonFollowsTheList()
{
    QFETCH(bool, demoListed);
    TFormWelcome w(demoListed);
    // With the demo listed, its button removes it instead.
    QCOMPARE(w.ButtonDemo->isVisibleTo(&w), !demoListed);
    QCOMPARE(w.ButtonRemoveDemo->isVisibleTo(&w), demoListed);
    QVERIFY(w.ButtonAddMailbox->isVisibleTo(&w));
    QVERIFY(w.ButtonClose->isVisibleTo(&w));
    // Nothing chosen yet reads as closing.
    QCOMPARE(w.Choice(), TFormWelcome::TChoice::Close);
}

void tst_FormWelcome::eachButtonIsAChoice_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("result");
    QTest::newRow("add") << "ButtonAddMailbox" << int(TFormWelcome::TChoice::AddMailbox) << int(QDialog::Accepted);
    QTest::newRow("demo") << "ButtonDemo" << int(TFormWelcome::TChoice::Demo) << int(QDialog::Accepted);
    QTest::newRow("remove demo") << "ButtonRemoveDemo" << int(TFormWelcome::TChoice::RemoveDemo)
                                 << int(QDialog::Accepted);
    QTest::newRow("close") << "ButtonClose" << int(TFormWelcome::TChoice::Close) << int(QDialog::Rejected);
}

void tst_FormWelcome::eachButtonIsAChoice()
{
    QFETCH(QString, button);
    QFETCH(int, choice);
    QFETCH(int, result);
    TFormWelcome w(button == QLatin1String("ButtonRemoveDemo"));
    w.show();
    auto* b = w.findChild<QPushButton*>(button);
    QVERIFY(b);
    b->click();
    QCOMPARE(int(w.Choice()), choice);
    QCOMPARE(w.result(), result);
    QVERIFY(!w.isVisible());
}

void tst_FormWelcome::checkBoxSaysWhetherToComeBack()
{
    TFormWelcome w(false);
    // On unless the user turns it off; closing does not change it.
    QVERIFY(w.ShowAgain());
    w.show();
    w.ButtonClose->click();
    QVERIFY(w.ShowAgain());
    TFormWelcome off(false);
    off.CheckBoxShowWelcome->setChecked(false);
    off.ButtonDemo->click();
    QVERIFY(!off.ShowAgain());
    QCOMPARE(off.Choice(), TFormWelcome::TChoice::Demo);
}

QTEST_MAIN(tst_FormWelcome)
#include "tst_FormWelcome.moc"
