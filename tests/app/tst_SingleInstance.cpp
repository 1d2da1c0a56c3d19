#include "app/TSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isSocket(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

// Two starts of the real program on one settings file, and whom a copy talks to.
class tst_SingleInstance : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void socketPath_data();
    void socketPath();
    void secondStartRaisesFirst_data();
    void secondStartRaisesFirst();
    void oldSocketNameHearsNothing();
    void failedListenIsReported();
    void onlyPeersOfTheSameUser_data();
    void onlyPeersOfTheSameUser();
    void raiseCarriesActivationToken_data();
    void raiseCarriesActivationToken();

private:
    QProcess* launch();
    QString ini() const { return m_dir->filePath(QStringLiteral("Mailvane.ini")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    // $XDG_RUNTIME_DIR of the copies started; a private folder of the test's own.
    std::unique_ptr<QTemporaryDir> m_runtime;
    QString m_runtimeEnv;
    QString m_exe;
    QList<QProcess*> m_running;
};

void tst_SingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_runtime = std::make_unique<QTemporaryDir>();
    m_runtimeEnv = m_runtime->path();
    // The settings file lives beside the executable, so each test gets a copy of it.
    m_exe = m_dir->filePath(QStringLiteral("mailvane"));
    QVERIFY(QFile::copy(QStringLiteral(MV_MAILVANE_PATH), m_exe));
    QFile file(ini());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Option]\nStartupCheck=0\n");
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
    m_runtime.reset();
}

QProcess* tst_SingleInstance::launch()
{
    auto* p = new QProcess;
    m_running << p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (m_runtimeEnv.isEmpty()) {
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    } else {
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeEnv);
    }
    p->setProcessEnvironment(env);
    p->start(m_exe, {});
    return p;
}

void tst_SingleInstance::socketPath_data()
{
    QTest::addColumn<QString>("runtime"); // "dir" is the private folder made here
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("owner"); // added to this process's user id
    QTest::addColumn<bool>("inRuntime");

    QTest::newRow("private runtime folder") << "dir" << 0700 << 0 << true;
    QTest::newRow("unset") << "" << 0700 << 0 << false;
    QTest::newRow("relative") << "run" << 0700 << 0 << false;
    QTest::newRow("missing") << "dir/none" << 0700 << 0 << false;
    QTest::newRow("open to all") << "dir" << 0777 << 0 << false;
    QTest::newRow("group may enter") << "dir" << 0710 << 0 << false;
    QTest::newRow("another user's") << "dir" << 0700 << 1 << false;
}

void tst_SingleInstance::socketPath()
{
    QFETCH(QString, runtime);
    QFETCH(int, mode);
    QFETCH(int, owner);
    QFETCH(bool, inRuntime);

    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), mode_t(mode)) == 0);
    if (runtime.startsWith(QLatin1String("dir"))) {
        runtime.replace(0, 3, dir.path());
    }
    const QString path = TSingleInstance::SocketPath(ini(), runtime, ::geteuid() + uid_t(owner));
    QVERIFY(path.startsWith(QLatin1Char('/')));
    QCOMPARE(QFileInfo(path).absolutePath(), inRuntime ? dir.path() : QFileInfo(ini()).canonicalPath());
    QVERIFY(QFileInfo(path).fileName().startsWith(QLatin1String("Mailvane-")));
    // Another settings file gets a socket of its own.
    QVERIFY(TSingleInstance::SocketPath(m_dir->filePath(QStringLiteral("Other.ini")), runtime,
                                        ::geteuid() + uid_t(owner)) != path);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0700) == 0);
}

void tst_SingleInstance::secondStartRaisesFirst_data()
{
    QTest::addColumn<bool>("runtimeDir");
    QTest::newRow("runtime folder") << true;
    QTest::newRow("no runtime folder") << false;
}

void tst_SingleInstance::secondStartRaisesFirst()
{
    QFETCH(bool, runtimeDir);
    if (!runtimeDir) {
        m_runtimeEnv.clear();
    }
    const QString socket = TSingleInstance::SocketPath(ini(), m_runtimeEnv, ::geteuid());
    QCOMPARE(QFileInfo(socket).absolutePath(), runtimeDir ? m_runtime->path() : QFileInfo(ini()).canonicalPath());
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
        QTRY_VERIFY_WITH_TIMEOUT(isSocket(socket), 5000);
        // Core dumps are off from the start: the passwords it reads cannot end up in a core file.
        QFile limits(QStringLiteral("/proc/%1/limits").arg(first->processId()));
        QVERIFY(limits.open(QIODevice::ReadOnly));
        const QByteArray all = limits.readAll();
        const int at = int(all.indexOf("Max core file size"));
        const QByteArray core = at < 0 ? QByteArray() : all.mid(at, all.indexOf('\n', at) - at);
        QVERIFY2(core.simplified().startsWith("Max core file size 0 0 "), core.constData());

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

void tst_SingleInstance::oldSocketNameHearsNothing()
{
    // The name earlier versions listened on: a relative one, which Qt puts in /tmp.
    const QString oldName = QStringLiteral("Mailvane-") +
                            QString::fromLatin1(QCryptographicHash::hash(QFileInfo(ini()).canonicalFilePath().toUtf8(),
                                                                         QCryptographicHash::Sha256)
                                                    .toHex()
                                                    .left(24));
    const QString oldPath = QDir::tempPath() + QLatin1Char('/') + oldName;
    QProcess* first = launch();
    QVERIFY(first->waitForStarted(5000));
    const QString socket = TSingleInstance::SocketPath(ini(), m_runtimeEnv, ::geteuid());
    QTRY_VERIFY_WITH_TIMEOUT(isSocket(socket) || isSocket(oldPath), 5000);

    // Another user holds that name (one this user could not have removed).
    QLocalServer::removeServer(oldName);
    QLocalServer squatter;
    QVERIFY(squatter.listen(oldName));
    QCOMPARE(squatter.fullServerName(), oldPath);

    QProcess* second = launch();
    QVERIFY2(second->waitForFinished(8000), second->readAllStandardError().constData());
    QVERIFY(!squatter.waitForNewConnection(0));
    // Still the running copy that was raised.
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(second->readAllStandardOutput().contains("brought to the front"),
             second->readAllStandardError().constData());
}

void tst_SingleInstance::failedListenIsReported()
{
    // Something that is no socket sits where the socket goes and cannot be removed.
    const QString socket = TSingleInstance::SocketPath(ini(), m_runtimeEnv, ::geteuid());
    QVERIFY(QDir().mkdir(socket));
    QProcess* first = launch();
    QVERIFY(first->waitForStarted(5000));
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += first->readAllStandardError()).contains("cannot listen on"), 10000);
    QVERIFY2(errors.contains(QFile::encodeName(socket)), errors.constData());
    // It runs on as the first copy.
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(!isSocket(socket));
}

void tst_SingleInstance::onlyPeersOfTheSameUser_data()
{
    // Added to this process's user id: the id each side expects of its peer.
    QTest::addColumn<int>("firstExpects");
    QTest::addColumn<int>("secondExpects");
    QTest::addColumn<bool>("raised");
    QTest::newRow("same user") << 0 << 0 << true;
    QTest::newRow("first refuses the caller") << 1 << 0 << false;
    QTest::newRow("caller refuses the socket") << 0 << 1 << false;
}

void tst_SingleInstance::onlyPeersOfTheSameUser()
{
    QFETCH(int, firstExpects);
    QFETCH(int, secondExpects);
    QFETCH(bool, raised);

    const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeEnv));
    const auto restore = qScopeGuard([&] {
        if (runtimeBefore.isNull()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", runtimeBefore);
        }
    });
    TSingleInstance first(ini());
    first.SetPeerUid(::geteuid() + uid_t(firstExpects));
    int raises = 0;
    first.OnRaise = [&](const QString&) { ++raises; };
    QCOMPARE(first.Claim(), TSingleInstance::Result::First);
    QVERIFY(first.Warning().isEmpty());

    // The later start asks with blocking waits, so it runs on a thread of its own while the
    // first copy answers on this one.
    TSingleInstance::Result result = TSingleInstance::Result::First;
    QString warning;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        TSingleInstance second(ini());
        second.SetPeerUid(::geteuid() + uid_t(secondExpects));
        result = second.Claim();
        warning = second.Warning();
    }));
    QSignalSpy finished(thread.get(), &QThread::finished);
    thread->start();
    QVERIFY(finished.wait(20000));

    QCOMPARE(result, raised ? TSingleInstance::Result::Raised : TSingleInstance::Result::NoAnswer);
    if (raised) {
        QTRY_COMPARE(raises, 1);
    } else {
        // A raise is queued before the answer goes out; there was no answer, so none is coming.
        QCoreApplication::processEvents();
        QCOMPARE(raises, 0);
    }
    QCOMPARE(warning.contains(QLatin1String("not this user's")), secondExpects != 0);
}

void tst_SingleInstance::raiseCarriesActivationToken_data()
{
    QTest::addColumn<QString>("given"); // the later start's XDG_ACTIVATION_TOKEN
    QTest::addColumn<QString>("received");
    QTest::newRow("a desktop's token") << QStringLiteral("kwin-1234_abcd:5") << QStringLiteral("kwin-1234_abcd:5");
    QTest::newRow("none") << QString() << QString();
    QTest::newRow("blank inside: dropped") << QStringLiteral("a b") << QString();
    QTest::newRow("line break inside: dropped") << QStringLiteral("a\nraise") << QString();
    QTest::newRow("too long: dropped") << QString(600, QLatin1Char('t')) << QString();
}

void tst_SingleInstance::raiseCarriesActivationToken()
{
    QFETCH(QString, given);
    QFETCH(QString, received);
    const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeEnv));
    const auto restore = qScopeGuard([&] {
        if (runtimeBefore.isNull()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", runtimeBefore);
        }
    });
    TSingleInstance first(ini());
    QStringList tokens;
    first.OnRaise = [&](const QString& token) { tokens << token; };
    QCOMPARE(first.Claim(), TSingleInstance::Result::First);

    TSingleInstance::Result result = TSingleInstance::Result::First;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        TSingleInstance second(ini());
        second.SetActivationToken(given);
        result = second.Claim();
    }));
    QSignalSpy finished(thread.get(), &QThread::finished);
    thread->start();
    QVERIFY(finished.wait(20000));
    // The raise happens whatever became of the token.
    QCOMPARE(result, TSingleInstance::Result::Raised);
    QTRY_COMPARE(tokens.size(), 1);
    QCOMPARE(tokens.first(), received);
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
