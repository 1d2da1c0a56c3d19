#include "core/TBrkApart.h"

#include <QtTest>

class tst_BrkApart : public QObject {
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void splitReplacesPreviousPieces();
};

void tst_BrkApart::split_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<bool>("allowEmpty");
    QTest::addColumn<QStringList>("pieces");

    const QString comma = QStringLiteral(",");
    QTest::newRow("hour list") << "6,12,18,24" << comma << true << QStringList{"6", "12", "18", "24"};
    QTest::newRow("empty text, empties kept") << "" << comma << true << QStringList{""};
    QTest::newRow("empty text, empties dropped") << "" << comma << false << QStringList{};
    QTest::newRow("trailing comma kept") << "6,12," << comma << true << QStringList{"6", "12", ""};
    QTest::newRow("trailing comma dropped") << "6,12," << comma << false << QStringList{"6", "12"};
    QTest::newRow("leading comma") << ",6" << comma << true << QStringList{"", "6"};
    QTest::newRow("double comma kept") << "6,,12" << comma << true << QStringList{"6", "", "12"};
    QTest::newRow("double comma dropped") << "6,,12" << comma << false << QStringList{"6", "12"};
    QTest::newRow("only commas") << ",," << comma << true << QStringList{"", "", ""};
    QTest::newRow("no comma") << "6 12" << comma << true << QStringList{"6 12"};
    QTest::newRow("blanks stay") << "6, 12 ,18" << comma << true << QStringList{"6", " 12 ", "18"};
    QTest::newRow("long delimiter") << "a<->b<->c"
                                    << "<->" << false << QStringList{"a", "b", "c"};
    QTest::newRow("part of delimiter") << "a<-b<->c->d"
                                       << "<->" << false << QStringList{"a<-b", "c->d"};
    QTest::newRow("overlapping delimiter") << "a,,,b"
                                           << ",," << true << QStringList{"a", ",b"};
    QTest::newRow("empty delimiter") << "a,b"
                                     << "" << true << QStringList{"a,b"};
    QTest::newRow("empty delimiter, empty text") << ""
                                                 << "" << false << QStringList{};
    QTest::newRow("case matters") << "aXbxc"
                                  << "x" << false << QStringList{"aXb", "c"};
    QTest::newRow("quoted-printable soft breaks") << "ab=\r\ncd=\r\n"
                                                  << "=\r\n"
                                                  << true << QStringList{"ab", "cd", ""};
}

void tst_BrkApart::split()
{
    QFETCH(QString, base);
    QFETCH(QString, delimiter);
    QFETCH(bool, allowEmpty);
    QFETCH(QStringList, pieces);

    TBrkApart brk;
    brk.BaseString = base;
    brk.BreakString = delimiter;
    brk.AllowEmptyString = allowEmpty;
    brk.Split();
    QCOMPARE(brk.StringList, pieces);
    QCOMPARE(brk.BaseString, base);
}

void tst_BrkApart::splitReplacesPreviousPieces()
{
    TBrkApart brk;
    QVERIFY(!brk.AllowEmptyString);
    brk.BreakString = QStringLiteral(",");
    brk.BaseString = QStringLiteral("1,2,3");
    brk.Split();
    brk.BaseString = QStringLiteral("4");
    brk.Split();
    QCOMPARE(brk.StringList, QStringList{QStringLiteral("4")});
}

QTEST_GUILESS_MAIN(tst_BrkApart)
#include "tst_BrkApart.moc"
