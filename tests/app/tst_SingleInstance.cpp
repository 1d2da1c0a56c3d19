#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Two starts of the real program on one settings file.
class tst_SingleInstance : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secondStartRaisesFirst();

private:
    QProcess* launch();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_exe;
    QList<QProcess*> m_running;
};

void tst_SingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    // The settings file lives beside the executable, so each test gets a copy of it.
    m_exe = m_dir->filePath(QStringLiteral("mailvane"));
    QVERIFY(QFile::copy(QStringLiteral(MV_MAILVANE_PATH), m_exe));
    QFile ini(m_dir->filePath(QStringLiteral("Mailvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Option]\nStartupCheck=0\n");
}

void tst_SingleInstance::cleanup()
{
    for (QProcess* p : std::as_const(m_running)) {
        p->kill();
        p->waitForFinished(3000);
        delete p;
    }
    m_running.clear();
    m_dir.reset();
}

QProcess* tst_SingleInstance::launch()
{
    auto* p = new QProcess;
    m_running << p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p->setProcessEnvironment(env);
    p->start(m_exe, {});
    return p;
}

void tst_SingleInstance::secondStartRaisesFirst()
{
    const QString lock = m_dir->filePath(QStringLiteral("Mailvane.ini.lock"));
    for (int round = 0; round < 2; ++round) {
        QProcess* first = launch();
        QVERIFY(first->waitForStarted(5000));
        // The lock names its holder; in the second round the dead copy's lock is still there.
        const auto holder = [&] {
            QFile f(lock);
            return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed().toLongLong() : 0;
        };
        QTRY_COMPARE_WITH_TIMEOUT(holder(), first->processId(), 5000);

        QProcess* second = launch();
        QVERIFY2(second->waitForFinished(8000), second->readAllStandardError().constData());
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        // Said only once the running copy has answered the request.
        QVERIFY2(second->readAllStandardOutput().contains("brought to the front"),
                 second->readAllStandardError().constData());
        QCOMPARE(first->state(), QProcess::Running);
        // A copy that dies leaves its lock and socket behind; the next start takes over.
        first->kill();
        QVERIFY(first->waitForFinished(3000));
        QVERIFY(QFile::exists(lock));
    }
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
