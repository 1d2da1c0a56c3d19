#include "core/TCoreDumps.h"

#include <QFile>
#include <QtTest>

#include <sys/prctl.h>
#include <sys/resource.h>

// Core dumps off, and what the process still reads of itself afterwards.
class tst_CoreDumps : public QObject {
    Q_OBJECT

private slots:
    void disableTurnsBothOff();
};

void tst_CoreDumps::disableTurnsBothOff()
{
    QString error;
    QVERIFY2(TCoreDumps::Disable(&error), qPrintable(error));
    rlimit limit{};
    QCOMPARE(getrlimit(RLIMIT_CORE, &limit), 0);
    QCOMPARE(limit.rlim_cur, rlim_t(0));
    QCOMPARE(limit.rlim_max, rlim_t(0));
    QCOMPARE(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);

    // /proc/self now belongs to root; the files the program and its tests read stay readable.
    for (const char* name : {"/proc/self/statm", "/proc/self/status"}) {
        QFile f{QString::fromLatin1(name)};
        QVERIFY2(f.open(QIODevice::ReadOnly), name);
        QVERIFY(!f.readAll().isEmpty());
    }
    QCOMPARE(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(), QCoreApplication::applicationFilePath());
    // A second call, as a second start-up path would make, is harmless.
    QVERIFY(TCoreDumps::Disable());
}

QTEST_GUILESS_MAIN(tst_CoreDumps)
#include "tst_CoreDumps.moc"
