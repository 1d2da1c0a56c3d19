#include "mailbox/TPop3Reply.h"
#include "mailbox/TUidlCache.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kKey = TUidlCache::Key(QStringLiteral("Box"), QStringLiteral("127.0.0.1"), QStringLiteral("ann"));

TUidlCache sample()
{
    TUidlCache cache;
    cache.Insert("u1", {"101", QStringLiteral("Mon, 1 Jan"), QStringLiteral("Ann <a@t>"), QStringLiteral("hi"),
                        QStringLiteral("Ann <a@t>"), QStringLiteral("hi"), "<1@t>"});
    // Texts with every byte the format has to carry: separators, line ends, escapes, CJK.
    cache.Insert("u-2.x", {"", QStringLiteral("a b\tc"), QStringLiteral("=%41\r\n"), QStringLiteral("新信件 %"),
                           QStringLiteral("=?UTF-8?Q?=41?= %0A"), QStringLiteral("=?Big5?B?t3Oriw==?= \r"),
                           QByteArray("<2 \x01\xff@t>")});
    return cache;
}

} // namespace

class tst_UidlCache : public QObject {
    Q_OBJECT
private slots:
    void roundTripAndFile();
    void reloadFollowsFileEdits();
    void damagedTextRejected_data();
    void damagedTextRejected();
    void uidList_data();
    void uidList();
    void insertKeepsOnlyFaithfulEntries();
    void backgroundSavesInOrder();
    void pruneKeepsWhatMailboxesUse();
};

void tst_UidlCache::roundTripAndFile()
{
    const TUidlCache cache = sample();
    TUidlCache back;
    QVERIFY(back.Parse(cache.Serialize(kKey), kKey));
    QCOMPARE(back.Uids(), QList<QByteArray>({"u1", "u-2.x"}));
    QCOMPARE(*back.Find("u-2.x"), *cache.Find("u-2.x"));
    QCOMPARE(*back.Find("u1"), *cache.Find("u1"));
    QVERIFY(!back.Find("u3"));

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Mailvane.ini"));
    const QString path = TUidlCache::PathFor(ini, kKey);
    QVERIFY(path.startsWith(dir.filePath(QStringLiteral("Mailvane.cache/"))));
    // Each mailbox, server and login has a file of its own.
    QVERIFY(path != TUidlCache::PathFor(ini, TUidlCache::Key(QStringLiteral("Box"), QStringLiteral("127.0.0.1"),
                                                             QStringLiteral("bob"))));
    QVERIFY(!back.Load(path, kKey));
    QCOMPARE(back.Count(), 0);
    QVERIFY(cache.Save(path, kKey));
    QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFileDevice::Permissions());
    QCOMPARE(QFileInfo(QFileInfo(path).absolutePath()).permissions() & 0x0077, QFileDevice::Permissions());
    QVERIFY(!QFile::exists(path + QStringLiteral(".tmp")));
    QVERIFY(back.Load(path, kKey));
    QCOMPARE(back.Serialize(kKey), cache.Serialize(kKey));
    // Read for another login, the same file is foreign.
    QVERIFY(!back.Load(path, TUidlCache::Key(QStringLiteral("Box"), QStringLiteral("127.0.0.1"), QStringLiteral("x"))));
    QCOMPARE(back.Count(), 0);
}

// Loads after a save or an earlier load reuse what was parsed: an edit in place, of the
// same size and within the same clock tick, must still be seen.
void tst_UidlCache::reloadFollowsFileEdits()
{
    QTemporaryDir dir;
    const QString path = TUidlCache::PathFor(dir.filePath(QStringLiteral("Mailvane.ini")), kKey);
    const TUidlCache cache = sample();
    QVERIFY(cache.Save(path, kKey));
    const auto overwrite = [&path](const QByteArray& text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(text), text.size());
        file.resize(text.size());
    };
    QFile original(path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray text = original.readAll();
    original.close();

    TUidlCache back;
    QVERIFY(back.Load(path, kKey));
    QCOMPARE(back, cache);
    QByteArray edited = text;
    edited[edited.indexOf("hi")] = 'H';
    overwrite(edited);
    QVERIFY(!back.Load(path, kKey));
    QCOMPARE(back.Count(), 0);
    overwrite(text);
    QVERIFY(back.Load(path, kKey));
    QCOMPARE(back, cache);
    // The same bytes for another login stay foreign, and a removed file reads as empty.
    QVERIFY(!back.Load(path, TUidlCache::Key(QStringLiteral("Box"), QStringLiteral("127.0.0.1"), QStringLiteral("x"))));
    QVERIFY(back.Load(path, kKey));
    QVERIFY(QFile::remove(path));
    QVERIFY(!back.Load(path, kKey));
    QCOMPARE(back.Count(), 0);

    // A smaller cache saved over it is what the next load gives.
    TUidlCache smaller;
    smaller.Insert("u1", *cache.Find("u1"));
    QVERIFY(smaller.Save(path, kKey));
    QVERIFY(back.Load(path, kKey));
    QCOMPARE(back, smaller);
}

void tst_UidlCache::damagedTextRejected_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray good = sample().Serialize(kKey);
    const qsizetype digestAt = good.lastIndexOf("S ");
    auto resealed = [&](const QByteArray& body) {
        return body + "S " + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
    };
    const QByteArray body = good.left(digestAt);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no final line end") << good.chopped(1);
    QTest::newRow("cut before the digest") << body;
    QTest::newRow("byte changed") << QByteArray(good).replace("hi", "ho");
    QTest::newRow("digest only") << resealed({});
    QTest::newRow("other version") << resealed(QByteArray(body).replace("UidlCache 2", "UidlCache 1"));
    QTest::newRow("field missing") << resealed(QByteArray(body).replace(" =%3C1%40t%3E", ""));
    QTest::newRow("bad escape") << resealed(QByteArray(body).replace("=hi", "=h%G1"));
    QTest::newRow("cut escape") << resealed(QByteArray(body).replace("=hi", "=hi%4"));
    QTest::newRow("raw byte in field") << resealed(QByteArray(body).replace("=hi", "=h\x80"));
    QTest::newRow("text not UTF-8") << resealed(QByteArray(body).replace("=hi", "=h%FF"));
    QTest::newRow("unique-id twice") << resealed(QByteArray(body).replace("E =u-2.x", "E =u1"));
    QTest::newRow("unique-id with space") << resealed(QByteArray(body).replace("E =u1", "E =u%201"));
    QTest::newRow("unknown line") << resealed(body + "X =1\n");
}

void tst_UidlCache::damagedTextRejected()
{
    QFETCH(QByteArray, text);
    TUidlCache cache = sample();
    QVERIFY(!cache.Parse(text, kKey));
    QCOMPARE(cache.Count(), 0);
}

void tst_UidlCache::uidList_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QList<QByteArray>>("uids");

    QTest::newRow("refused") << QByteArray("-ERR no\r\n") << false << QList<int>() << QList<QByteArray>();
    QTest::newRow("empty") << QByteArray("+OK\r\n.\r\n") << true << QList<int>() << QList<QByteArray>();
    QTest::newRow("plain") << QByteArray("+OK\r\n1 a\r\n2 b\r\n.\r\n") << true << QList<int>({1, 2})
                           << QList<QByteArray>({"a", "b"});
    QTest::newRow("stops at the terminator")
        << QByteArray("+OK\r\n1 a\r\n.\r\n2 b\r\n") << true << QList<int>({1}) << QList<QByteArray>({"a"});
    QTest::newRow("number twice") << QByteArray("+OK\r\n1 a\r\n1 b\r\n2 c\r\n.\r\n") << true << QList<int>({2})
                                  << QList<QByteArray>({"c"});
    QTest::newRow("unique-id twice") << QByteArray("+OK\r\n1 a\r\n2 a\r\n3 c\r\n.\r\n") << true << QList<int>({3})
                                     << QList<QByteArray>({"c"});
    QTest::newRow("out of range and malformed")
        << QByteArray("+OK\r\n0 z\r\n4 y\r\n-1 x\r\n2\r\n3 two words\r\n1 " + QByteArray(71, 'u') + "\r\n2 ok\r\n.\r\n")
        << true << QList<int>({2}) << QList<QByteArray>({"ok"});
    QTest::newRow("longest unique-id") << QByteArray("+OK\r\n1 " + QByteArray(70, 'u') + "\r\n2 " +
                                                     QByteArray(71, 'v') + "\r\n.\r\n")
                                       << true << QList<int>({1}) << QList<QByteArray>({QByteArray(70, 'u')});
}

void tst_UidlCache::uidList()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QList<int>, numbers);
    QFETCH(QList<QByteArray>, uids);
    QHash<int, QByteArray> got;
    QCOMPARE(TUidlCache::UidList(reply, 3, got), ok);
    QCOMPARE(got.size(), numbers.size());
    for (int i = 0; i < numbers.size(); ++i) {
        QCOMPARE(got.value(numbers.at(i)), uids.at(i));
    }
    int n = 0;
    QByteArray uid;
    // A one-message reply reaches the line rule through the reply layer.
    QVERIFY(TUidlCache::UidLine(TPop3Reply::Text("+OK 7 abc\r\n"), n, uid));
    QCOMPARE(n, 7);
    QCOMPARE(uid, QByteArray("abc"));
    QVERIFY(!TUidlCache::UidLine(TPop3Reply::Text("+OK 7\r\n"), n, uid));
    QVERIFY(!TUidlCache::UidLine("+OK 7 abc\r\n", n, uid));
}

void tst_UidlCache::insertKeepsOnlyFaithfulEntries()
{
    TUidlCache cache;
    cache.Insert("u1", {"1", QStringLiteral("d"), QStringLiteral("f"), QStringLiteral("first"), QStringLiteral("f"),
                        QStringLiteral("first"), "<1@t>"});
    cache.Insert("u1", {"1", QStringLiteral("d"), QStringLiteral("f"), QStringLiteral("second"), QStringLiteral("f"),
                        QStringLiteral("second"), "<1@t>"});
    // A lone surrogate would read back as U+FFFD: such a row is fetched each time instead.
    cache.Insert("u2", {"1", QStringLiteral("d"), QString(QChar(0xd800)), QStringLiteral("s"), QString(QChar(0xd800)),
                        QStringLiteral("s"), "<2@t>"});
    cache.Insert(QByteArray(71, 'u'), {"1", QStringLiteral("d"), QStringLiteral("f"), QStringLiteral("s"),
                                       QStringLiteral("f"), QStringLiteral("s"), "<3@t>"});
    cache.Insert(QByteArray(70, 'u'), {"1", QStringLiteral("d"), QStringLiteral("f"), QStringLiteral("s"),
                                       QStringLiteral("f"), QStringLiteral("s"), "<4@t>"});
    QCOMPARE(cache.Uids(), QList<QByteArray>({"u1", QByteArray(70, 'u')}));
    QCOMPARE(cache.Find("u1")->Subject, QStringLiteral("first"));
    // The longest unique-id is read back from the file as well.
    TUidlCache back;
    QVERIFY(back.Parse(cache.Serialize(kKey), kKey));
    QCOMPARE(back.Find(QByteArray(70, 'u'))->Id, QByteArray("<4@t>"));
}

// Saves made on the saving thread land in the order they were asked for, and a load waits
// for them: the next check never reads a cache older than the last one written.
void tst_UidlCache::backgroundSavesInOrder()
{
    QTemporaryDir dir;
    const QString path = TUidlCache::PathFor(dir.filePath(QStringLiteral("Mailvane.ini")), kKey);
    for (int n = 1; n <= 30; ++n) {
        TUidlCache cache = sample();
        cache.Insert("u" + QByteArray::number(n + 2),
                     {QByteArray::number(n), QString(), QString(), QString(), QString(), QString(), "<n@t>"});
        cache.SaveInBackground(path, kKey);
    }
    TUidlCache back;
    QVERIFY(back.Load(path, kKey));
    QCOMPARE(back.Count(), 3);
    QVERIFY(back.Find("u32"));
    QCOMPARE(back.Find("u32")->Size, QByteArray("30"));
    QVERIFY(!QFile::exists(path + QStringLiteral(".tmp")));
}

// Files of mailboxes that are gone, or whose server or login changed, are removed; files
// of listed mailboxes and files that are not caches stay.
void tst_UidlCache::pruneKeepsWhatMailboxesUse()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Mailvane.ini"));
    QFile settings(ini);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Server]\n0=Box\n2=信箱\n[Box]\nHost=127.0.0.1\nLogin=ann\n[信箱]\nHost=h\nLogin=u\n"
                   "[Gone]\nHost=h\nLogin=u\n");
    settings.close();
    const auto pathOf = [&](const char* name, const char* host, const char* login) {
        return TUidlCache::PathFor(
            ini, TUidlCache::Key(QString::fromUtf8(name), QString::fromUtf8(host), QString::fromUtf8(login)));
    };
    QStringList kept = {pathOf("Box", "127.0.0.1", "ann"), pathOf("信箱", "h", "u")};
    const QStringList removed = {pathOf("Gone", "h", "u"), pathOf("Box", "127.0.0.1", "bob"),
                                 pathOf("Box", "other", "ann")};
    for (const QString& path : kept + removed) {
        QVERIFY(sample().Save(path, kKey));
    }
    const QString other = QFileInfo(kept.first()).absolutePath() + QStringLiteral("/notes.uidl");
    QFile note(other);
    QVERIFY(note.open(QIODevice::WriteOnly));
    note.close();

    const QString checked = pathOf("Unlisted", "h", "u");
    QVERIFY(sample().Save(checked, kKey));
    TUidlCache::PruneInBackground(ini, checked);
    TUidlCache::WaitForSaves();
    kept << checked;
    for (const QString& path : kept) {
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }
    for (const QString& path : removed) {
        QVERIFY2(!QFile::exists(path), qPrintable(path));
    }
    QVERIFY(QFile::exists(other));
}

QTEST_GUILESS_MAIN(tst_UidlCache)
#include "tst_UidlCache.moc"
