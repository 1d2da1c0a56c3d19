#include "settings/TIniFile.h"
#include "settings/TSettingsLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using Kind = TSettingsLocation::TKind;

namespace {

// The permission bits as the kernel keeps them.
int mode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class tst_SettingsLocation : public QObject {
    Q_OBJECT

private slots:
    void resolve_data();
    void resolve();
    void prepareCreatesOwnerOnlyFolderAndFile();
    void prepareKeepsAnExistingFile();
    void prepareReportsAFolderItCannotMake();
    void programRunsWithTheUsersFileWhenNoneIsBesideIt();
    void shippedFilesFolder();
};

void tst_SettingsLocation::resolve_data()
{
    QTest::addColumn<bool>("iniBeside");
    QTest::addColumn<bool>("exeWritable");
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QString>("expectedUnderRoot");

    QTest::newRow("portable copy") << true << true << QString() << true << QStringLiteral("exe/Mailvane.ini");
    QTest::newRow("installed: folder read-only")
        << true << false << QString() << false << QStringLiteral("home/.config/mailvane/Mailvane.ini");
    QTest::newRow("writable folder without a file")
        << false << true << QString() << false << QStringLiteral("home/.config/mailvane/Mailvane.ini");
    QTest::newRow("XDG_CONFIG_HOME honoured")
        << false << false << QStringLiteral("<root>/cfg") << false << QStringLiteral("cfg/mailvane/Mailvane.ini");
    QTest::newRow("relative XDG_CONFIG_HOME ignored")
        << false << false << QStringLiteral("cfg") << false << QStringLiteral("home/.config/mailvane/Mailvane.ini");
    QTest::newRow("portable file wins over XDG")
        << true << true << QStringLiteral("<root>/cfg") << true << QStringLiteral("exe/Mailvane.ini");
}

void tst_SettingsLocation::resolve()
{
    QFETCH(bool, iniBeside);
    QFETCH(bool, exeWritable);
    QFETCH(QString, xdg);
    QFETCH(bool, portable);
    QFETCH(QString, expectedUnderRoot);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("exe")));
    if (iniBeside) {
        QFile ini(root.filePath(QStringLiteral("exe/Mailvane.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
    }
    TSettingsLocation::TEnvironment env;
    env.ExeFolder = root.filePath(QStringLiteral("exe"));
    env.Home = root.filePath(QStringLiteral("home"));
    env.XdgConfigHome = xdg.replace(QStringLiteral("<root>"), root.path());
    QStringList asked;
    env.IsWritable = [&](const QString& folder) {
        asked << folder;
        return exeWritable;
    };

    const TSettingsLocation::TChoice choice = TSettingsLocation::Resolve(env);
    QCOMPARE(choice.Path, root.filePath(expectedUnderRoot));
    QCOMPARE(choice.Kind == Kind::Portable, portable);
    // The writability question is only ever about the executable's folder.
    for (const QString& folder : std::as_const(asked)) {
        QCOMPARE(folder, env.ExeFolder);
    }
}

void tst_SettingsLocation::prepareCreatesOwnerOnlyFolderAndFile()
{
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("a/b/mailvane/Mailvane.ini"));
    QString error;
    QVERIFY2(TSettingsLocation::Prepare({path, Kind::User}, &error), qPrintable(error));
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(QFileInfo(path).size(), 0);
    QCOMPARE(mode(path), 0600);
    const QString folder = QFileInfo(path).absolutePath();
    QCOMPARE(mode(folder), 0700);

    // A folder left open by hand is narrowed again.
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QVERIFY(TSettingsLocation::Prepare({path, Kind::User}));
    QCOMPARE(mode(folder), 0700);

    // What the program writes later stays owner-only too.
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("30"));
    QCOMPARE(mode(path), 0600);
}

void tst_SettingsLocation::prepareKeepsAnExistingFile()
{
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("mailvane/Mailvane.ini"));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("mailvane")));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Server]\n0=Home\n");
    file.close();
    QVERIFY(TSettingsLocation::Prepare({path, Kind::User}));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[Server]\n0=Home\n"));

    // A portable file is the user's own business: nothing is created or narrowed.
    const QString portable = root.filePath(QStringLiteral("exe/Mailvane.ini"));
    QVERIFY(TSettingsLocation::Prepare({portable, Kind::Portable}));
    QVERIFY(!QFileInfo::exists(portable));
}

void tst_SettingsLocation::prepareReportsAFolderItCannotMake()
{
    // A file where the folder should be: refused whoever runs the test.
    QTemporaryDir root;
    QFile blocker(root.filePath(QStringLiteral("cfg")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    QVERIFY(
        !TSettingsLocation::Prepare({root.filePath(QStringLiteral("cfg/mailvane/Mailvane.ini")), Kind::User}, &error));
    QVERIFY2(error.contains(root.filePath(QStringLiteral("cfg/mailvane"))), qPrintable(error));
}

void tst_SettingsLocation::programRunsWithTheUsersFileWhenNoneIsBesideIt()
{
    // The test program's folder holds no Mailvane.ini: the real environment leads to the
    // user's folder, here a temporary one.
    QTemporaryDir root;
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/Mailvane.ini")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path()));
    const QString path = TSettingsLocation::ForThisProgram();
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(path, root.filePath(QStringLiteral("mailvane/Mailvane.ini")));
    QVERIFY(QFileInfo(path).isFile());
}

void tst_SettingsLocation::shippedFilesFolder()
{
    QTemporaryDir root;
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("prefix/bin")) && dir.mkpath(QStringLiteral("prefix/share/mailvane")));
    QVERIFY(dir.mkpath(QStringLiteral("build/src/app")));
    QFile wav(root.filePath(QStringLiteral("build/src/app/Mailvane.wav")));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.close();

    // Installed: bin/ holds only the program.
    QCOMPARE(TSettingsLocation::ShippedFilesFolder(root.filePath(QStringLiteral("prefix/bin"))),
             root.filePath(QStringLiteral("prefix/share/mailvane/")));
    // Build folder: the files beside the executable, as before.
    QCOMPARE(TSettingsLocation::ShippedFilesFolder(root.filePath(QStringLiteral("build/src/app"))),
             root.filePath(QStringLiteral("build/src/app/")));
    // Neither: the executable's folder, so that the dialog still shows a name to correct.
    QVERIFY(dir.mkpath(QStringLiteral("bare")));
    QCOMPARE(TSettingsLocation::ShippedFilesFolder(root.filePath(QStringLiteral("bare"))),
             root.filePath(QStringLiteral("bare/")));
}

QTEST_GUILESS_MAIN(tst_SettingsLocation)
#include "tst_SettingsLocation.moc"
