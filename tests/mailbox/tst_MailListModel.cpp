#include "mailbox/TMailListModel.h"

#include <QtTest>

// The mail list's marks and the rules that read or change several rows at once.
class tst_MailListModel : public QObject {
    Q_OBJECT
private slots:
    void markText_data();
    void markText();
    void bulkRules();
    void changesAreReported();
    void shownText();
};

void tst_MailListModel::markText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mark");
    QTest::addColumn<QString>("shown");

    QTest::newRow("new") << QStringLiteral("*") << int(TMark::New) << QStringLiteral("*");
    QTest::newRow("delete") << QStringLiteral("x") << int(TMark::Delete) << QStringLiteral("x");
    QTest::newRow("empty") << QString() << int(TMark::None) << QString();
    QTest::newRow("upper X is no mark") << QStringLiteral("X") << int(TMark::None) << QString();
    QTest::newRow("padded") << QStringLiteral(" x") << int(TMark::None) << QString();
}

void tst_MailListModel::markText()
{
    QFETCH(QString, text);
    QFETCH(int, mark);
    QFETCH(QString, shown);
    QCOMPARE(int(TMailListModel::MarkFromText(text)), mark);
    QCOMPARE(TMailListModel::MarkText(TMailListModel::MarkFromText(text)), shown);
}

void tst_MailListModel::bulkRules()
{
    TMailListModel list;
    const QList<TMark> marks = {TMark::None, TMark::New, TMark::None, TMark::Delete};
    for (int i = 0; i < marks.size(); ++i) {
        TMailRow row;
        row.Number = i + 1;
        row.Mark = marks.at(i);
        row.Subject = QStringLiteral("s");
        // Row 3 was never listed: it has no identifier.
        row.Id = i == 2 ? QByteArray() : "<" + QByteArray::number(i + 1) + "@t>";
        list.Append(row);
    }
    QCOMPARE(list.NewCount(), 1);
    QVERIFY(list.AnyDeleteMarked());

    // Only listed rows without a mark are marked; new ones are spared.
    list.MarkUnmarkedForDelete();
    QCOMPARE(list.Mark(1), TMark::Delete);
    QCOMPARE(list.Mark(2), TMark::New);
    QCOMPARE(list.Mark(3), TMark::None);

    // Blanking keeps rows and identifiers for the next check but drops what was shown.
    list.Blank();
    QCOMPARE(list.Count(), 4);
    QCOMPARE(list.Id(2), QByteArray("<2@t>"));
    QCOMPARE(list.Mark(2), TMark::None);
    QCOMPARE(list.Row(2).Subject, QString());
    QVERIFY(!list.AnyDeleteMarked());

    QVERIFY(TMailListModel::SameId("<A@t>", "<a@T>"));
    QVERIFY(!TMailListModel::SameId(QByteArray(), QByteArray()));
    QCOMPARE(list.Id(0), QByteArray());
    QCOMPARE(list.Mark(5), TMark::None);
}

void tst_MailListModel::changesAreReported()
{
    TMailListModel list;
    QList<int> changed;
    list.OnChanged = [&](int row) { changed.append(row); };
    list.Append(TMailRow());
    list.Append(TMailRow());
    list.SetMark(2, TMark::New);
    list.SetMark(2, TMark::New);
    list.SetMark(3, TMark::New);
    list.Clear();
    QCOMPARE(changed, QList<int>({1, 2, 2, 0}));
}

void tst_MailListModel::shownText()
{
    const int n = TMailListModel::ShownLength;
    const QString fits(n, QLatin1Char('a'));
    QCOMPARE(TMailListModel::ShownText(fits), fits);
    const QString cut = TMailListModel::ShownText(fits + QLatin1Char('b'));
    QCOMPARE(cut.size(), n);
    QCOMPARE(cut, QString(n - 1, QLatin1Char('a')) + QChar(0x2026));
    // A character outside the BMP across the cut goes whole.
    const QString pair = QString(n - 2, QLatin1Char('a')) + QStringLiteral("\U0001F600") + QStringLiteral("tail");
    QCOMPARE(TMailListModel::ShownText(pair), QString(n - 2, QLatin1Char('a')) + QChar(0x2026));
    // One that ends right before the ellipsis, or at the last character that fits, stays.
    const QString edge = QString(n - 3, QLatin1Char('a')) + QStringLiteral("\U0001F600");
    QCOMPARE(TMailListModel::ShownText(edge + QStringLiteral("tail")), edge + QChar(0x2026));
    QCOMPARE(TMailListModel::ShownText(edge + QLatin1Char('a')), edge + QLatin1Char('a'));
    QCOMPARE(TMailListModel::ShownText(QString(4'000'000, QLatin1Char('z'))).size(), n);
}

QTEST_GUILESS_MAIN(tst_MailListModel)
#include "tst_MailListModel.moc"
