#include "core/TClock.h"
#include "status/TFormMessage.h"
#include "widgets/TModal.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_FormMessage : public QObject {
    Q_OBJECT
private slots:
    void init() { TClock::SetFixed(QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0))); }
    void cleanup()
    {
        TModal::SetHook(nullptr);
        TClock::SetReal();
    }
    void showsReportAndOkCloses();
    void closesBeforeNextCheck_data();
    void closesBeforeNextCheck();
    void closesOnceClockReachesCheck();
};

void tst_FormMessage::showsReportAndOkCloses()
{
    QString caption, from, memo;
    QSize size;
    TModal::SetHook([&](QDialog* d) {
        auto* form = qobject_cast<TFormMessage*>(d);
        QVERIFY(form);
        caption = form->windowTitle();
        size = form->size();
        from = form->LabelFrom->text();
        memo = form->Memo->toPlainText();
        QVERIFY(form->Memo->isReadOnly());
        QCOMPARE(form->Label1->text(), QStringLiteral("訊息來源"));
        QCOMPARE(form->ButtonOK->text(), QStringLiteral("確定"));
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    });
    const double next = TClock::Now() + 1.0 / 24;
    const int result =
        TFormMessage::Show(nullptr, "主機 : home", "Socket: 3\nError: 10061\nMessage: refused\n", [=] { return next; });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(caption, QStringLiteral("Message"));
    QCOMPARE(size, QSize(392, 225));
    QCOMPARE(from, QStringLiteral("主機 : home"));
    QCOMPARE(memo, QStringLiteral("Socket: 3\nError: 10061\nMessage: refused\n"));
}

void tst_FormMessage::closesBeforeNextCheck_data()
{
    QTest::addColumn<int>("secondsToCheck");
    QTest::addColumn<bool>("closesItself");

    QTest::newRow("5 s") << 5 << true;
    QTest::newRow("10 s") << 10 << true;
    QTest::newRow("overdue by an hour") << -3600 << true;
    QTest::newRow("never computed") << -1000000000 << true;
    QTest::newRow("11 s") << 11 << false;
    QTest::newRow("an hour") << 3600 << false;
}

void tst_FormMessage::closesBeforeNextCheck()
{
    QFETCH(int, secondsToCheck);
    QFETCH(bool, closesItself);

    // The hook only guards against a hang: it rejects after a while, so Accepted means the timer did it.
    TModal::SetHook([](QDialog* d) { QTimer::singleShot(2600, d, [d] { d->reject(); }); });
    const double next = secondsToCheck == -1000000000 ? 0.0 : TClock::Now() + secondsToCheck / 86400.0;
    QElapsedTimer t;
    t.start();
    const int result = TFormMessage::Show(nullptr, "Mailvane Kernel", "boom\n", [=] { return next; });
    QCOMPARE(result, closesItself ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (closesItself) {
        QVERIFY(t.elapsed() < 2500);
    }
}

void tst_FormMessage::closesOnceClockReachesCheck()
{
    const double next = TClock::Now() + 60 / 86400.0;
    bool stillOpenAfterTicks = false;
    TModal::SetHook([&](QDialog* d) {
        QTimer::singleShot(1500, d, [&, d] {
            stillOpenAfterTicks = d->isVisible();
            TClock::Advance(51 * 1000);
        });
        QTimer::singleShot(5000, d, [d] { d->reject(); });
    });
    const int result = TFormMessage::Show(nullptr, "設定選單", "bad", [=] { return next; });
    QVERIFY(stillOpenAfterTicks);
    QCOMPARE(result, int(QDialog::Accepted));
}

QTEST_MAIN(tst_FormMessage)
#include "tst_FormMessage.moc"
