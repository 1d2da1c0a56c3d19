#include "mailbox/TMailboxFiles.h"
#include "mailbox/TSeenIds.h"
#include "settings/TIniFile.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_MailboxFiles : public QObject {
    Q_OBJECT
private slots:
    void seenListFollowsTheFile();
};

// Repeated loads reuse the list read before; every change of the file, by this program or
// by hand, in place and of the same size, must show in the next load.
void tst_MailboxFiles::seenListFollowsTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    const TMailboxFiles box(path, QStringLiteral("Box"));
    const TMailboxFiles other(path, QStringLiteral("Other"));
    const auto load = [](const TMailboxFiles& files) {
        TSeenIds seen;
        files.LoadSeen(seen, {});
        return seen;
    };
    QVERIFY(load(box).Ids().isEmpty());

    TSeenIds empty;
    box.StoreSeen({"<a@t>", "<b@t>"}, empty, {});
    other.StoreSeen({"<z@t>"}, empty, {});
    TSeenIds seen = load(box);
    QCOMPARE(seen.Ids(), QList<QByteArray>({"<a@t>", "<b@t>"}));
    QVERIFY(seen.Contains("<A@T>"));
    QCOMPARE(load(box).Ids(), seen.Ids());
    QCOMPARE(load(other).Ids(), QList<QByteArray>({"<z@t>"}));

    box.StoreSeen({"<c@t>"}, seen, {});
    QCOMPARE(load(box).Ids(), QList<QByteArray>({"<c@t>"}));
    QCOMPARE(load(other).Ids(), QList<QByteArray>({"<z@t>"}));

    // A hand edit in place that keeps the size.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    const qsizetype at = text.indexOf("<c@t>");
    QVERIFY(at >= 0);
    text[at + 1] = 'd';
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(text), text.size());
    file.close();
    seen = load(box);
    QCOMPARE(seen.Ids(), QList<QByteArray>({"<d@t>"}));
    QVERIFY(!seen.Contains("<c@t>"));

    // Another writer of the settings file, and then no file at all.
    TIniFile(path).EraseSection(TSeenIds::SectionName(QStringLiteral("Box")));
    QVERIFY(load(box).Ids().isEmpty());
    QCOMPARE(load(other).Ids(), QList<QByteArray>({"<z@t>"}));
    QVERIFY(QFile::remove(path));
    QVERIFY(load(other).Ids().isEmpty());
}

QTEST_GUILESS_MAIN(tst_MailboxFiles)
#include "tst_MailboxFiles.moc"
