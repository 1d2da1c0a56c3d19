#include "core/EWriteError.h"
#include "settings/TIniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

class tst_IniFile : public QObject {
    Q_OBJECT

private slots:
    void init();

    void readString_data();
    void readString();
    void readCutsLongValues();
    void readIntegerAndBool_data();
    void readIntegerAndBool();

    void writeString_data();
    void writeString();
    void writeKinds();
    void lineBreaksReadBackUnderTheSameName();
    void writeCreatesFileWithHeldValues();
    void roundTrip_data();
    void roundTrip();

    void eraseSection_data();
    void eraseSection();
    void eraseMissingSectionLeavesNoFile();
    void deleteKey_data();
    void deleteKey();
    void sectionExists();
    void wholeSectionMatchesKeyByKey_data();
    void wholeSectionMatchesKeyByKey();
    void readSection();

    void nothingIsCached();
    void ownerOnlyMode();
    void replacesFileInOneStep();
    void writeThroughSymlinkKeepsLink();
    void unwritableFolderThrows();
    void unreadableFileIsNotOverwritten();
    void failedWriteKeepsOldContent();
    void readOnlyFileIsRefused();
    void interruptedWrite_data();
    void interruptedWrite();
    void staleTempIsReplaced();
    void namesWithLeadingZeroWidthNoBreakSpace_data();
    void namesWithLeadingZeroWidthNoBreakSpace();
    void lineEndingKept_data();
    void lineEndingKept();
    void defaultPathIsBesideExecutable();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("Mailvane.ini")); }
    void put(const QByteArray& bytes) const;
    QByteArray get() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_IniFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_IniFile::put(const QByteArray& bytes) const
{
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray tst_IniFile::get() const
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

void tst_IniFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString def = QStringLiteral("<def>");
    QTest::newRow("plain") << QByteArray("[General]\nTimeout=5\n") << "General"
                           << "Timeout"
                           << "5";
    QTest::newRow("case of names") << QByteArray("[General]\nTimeout=5\n") << "gENERAL"
                                   << "TIMEOUT"
                                   << "5";
    QTest::newRow("blanks around") << QByteArray("  [ General ]  \n  Timeout  =  5 6  \n") << "General"
                                   << "Timeout"
                                   << "5 6";
    QTest::newRow("tabs around") << QByteArray("[A]\n\tx\t=\tv\t\n") << "A"
                                 << "x"
                                 << "v";
    QTest::newRow("quoted") << QByteArray("[A]\nx=\" a b \"\n") << "A"
                            << "x"
                            << " a b ";
    QTest::newRow("unmatched quote") << QByteArray("[A]\nx=\"ab\n") << "A"
                                     << "x"
                                     << "\"ab";
    QTest::newRow("lone quote") << QByteArray("[A]\nx=\"\n") << "A"
                                << "x"
                                << "\"";
    QTest::newRow("empty value is not missing") << QByteArray("[A]\nx=\n") << "A"
                                                << "x"
                                                << "";
    QTest::newRow("equals in value") << QByteArray("[A]\nx=a=b;c\n") << "A"
                                     << "x"
                                     << "a=b;c";
    QTest::newRow("comment") << QByteArray("[A]\n;x=1\n") << "A"
                             << "x" << def;
    QTest::newRow("indented comment") << QByteArray("[A]\n  ;x=1\nx=2\n") << "A"
                                      << "x"
                                      << "2";
    QTest::newRow("missing file section") << QByteArray("[B]\nx=1\n") << "A"
                                          << "x" << def;
    QTest::newRow("missing key") << QByteArray("[A]\ny=1\n") << "A"
                                 << "x" << def;
    QTest::newRow("key of the next section") << QByteArray("[A]\n[B]\nx=1\n") << "A"
                                             << "x" << def;
    QTest::newRow("keys before any section") << QByteArray("x=0\n[A]\ny=1\n") << "A"
                                             << "x" << def;
    QTest::newRow("keys before any section, then own") << QByteArray("x=0\n[A]\nx=1\n") << "A"
                                                       << "x"
                                                       << "1";
    QTest::newRow("first duplicate section") << QByteArray("[A]\nx=1\n[a]\nx=2\ny=3\n") << "A"
                                             << "x"
                                             << "1";
    QTest::newRow("second duplicate ignored") << QByteArray("[A]\nx=1\n[a]\nx=2\ny=3\n") << "A"
                                              << "y" << def;
    QTest::newRow("first duplicate key") << QByteArray("[A]\nx=1\nX=2\n") << "A"
                                         << "x"
                                         << "1";
    QTest::newRow("garbage lines") << QByteArray("[A]\ngarbage\n\n=\nx=1\n") << "A"
                                   << "x"
                                   << "1";
    QTest::newRow("CRLF") << QByteArray("[A]\r\nx=1\r\ny=2\r\n") << "A"
                          << "x"
                          << "1";
    QTest::newRow("no final line end") << QByteArray("[A]\nx=1") << "A"
                                       << "x"
                                       << "1";
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[A]\nx=1\n") << "A"
                         << "x"
                         << "1";
    QTest::newRow("UTF-8 names and value") << QByteArray("[信箱]\n主機=pop.例子.tw\n") << "信箱"
                                           << "主機"
                                           << "pop.例子.tw";
    // A hand-edited file cut in the middle of a character: the broken end reads as a
    // replacement character, in names as in values, and is not silently dropped.
    QTest::newRow("value cut mid-character") << QByteArray("[A]\nx=ab\xE4\n") << "A"
                                             << "x" << QStringLiteral("ab\uFFFD");
    QTest::newRow("section cut mid-character") << QByteArray("[ab\xE4]\nx=1\n") << QStringLiteral("ab\uFFFD") << "x"
                                               << "1";
    QTest::newRow("cut section is not the shorter name") << QByteArray("[ab\xE4]\nx=1\n") << "ab"
                                                         << "x" << def;
    QTest::newRow("cut key is not the shorter name") << QByteArray("[A]\nab\xE4=1\n") << "A"
                                                     << "ab" << def;
    QTest::newRow("bracket in section name") << QByteArray("[a]b]\nx=1\n") << "a]b"
                                             << "x"
                                             << "1";
    QTest::newRow("seen-ID section") << QByteArray("[IDs:Home]\n1=<a@b>\n") << "IDs:Home"
                                     << "1"
                                     << "<a@b>";
    QTest::newRow("EnableDialUp is another key") << QByteArray("[DialUp]\nEnableDialUp=1\n") << "DialUp"
                                                 << "EnableDiapUp" << def;
}

void tst_IniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    put(content);
    QCOMPARE(TIniFile(path()).ReadString(section, key, QStringLiteral("<def>")), expected);
}

void tst_IniFile::readCutsLongValues()
{
    QString value;
    for (int i = 0; i < 1500; ++i) {
        value += QChar(u'a' + i % 26);
    }
    TIniFile ini(path());
    ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), value);
    QCOMPARE(ini.ReadString(QStringLiteral("A"), QStringLiteral("x"), QString()), value.left(1023));
    // The file itself keeps the whole value.
    QVERIFY(get().contains(value.toUtf8()));

    ini.WriteString(QStringLiteral("A"), QStringLiteral("y"), QString(1023, QChar(u'中')));
    QCOMPARE(ini.ReadString(QStringLiteral("A"), QStringLiteral("y"), QString()).size(), 1023);
}

void tst_IniFile::readIntegerAndBool_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("integer");
    QTest::addColumn<bool>("boolDefTrue");
    QTest::addColumn<bool>("boolDefFalse");

    // Integer read with default 7; booleans with default true and false.
    QTest::newRow("decimal") << QByteArray("42") << 42 << true << true;
    QTest::newRow("zero") << QByteArray("0") << 0 << false << false;
    QTest::newRow("negative colour") << QByteArray("-2147483643") << -2147483643 << true << true;
    QTest::newRow("0x1F") << QByteArray("0x1F") << 31 << true << true;
    QTest::newRow("$1F") << QByteArray("$1F") << 31 << true << true;
    QTest::newRow("leading blank") << QByteArray("\" 12\"") << 12 << true << true;
    QTest::newRow("trailing blank") << QByteArray("\"12 \"") << 7 << true << false;
    QTest::newRow("1F") << QByteArray("1F") << 7 << true << false;
    QTest::newRow("0x alone") << QByteArray("0x") << 7 << true << false;
    QTest::newRow("bool 2") << QByteArray("2") << 2 << true << true;
    QTest::newRow("bool -1") << QByteArray("-1") << -1 << true << true;
    QTest::newRow("yes") << QByteArray("yes") << 7 << true << false;
    QTest::newRow("empty") << QByteArray("") << 7 << true << false;
    QTest::newRow("overflow") << QByteArray("2147483648") << 7 << true << false;
}

void tst_IniFile::readIntegerAndBool()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, integer);
    QFETCH(bool, boolDefTrue);
    QFETCH(bool, boolDefFalse);
    put("[A]\nk=" + stored + "\n");
    const TIniFile ini(path());
    QCOMPARE(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("k"), 7), integer);
    QCOMPARE(ini.ReadBool(QStringLiteral("A"), QStringLiteral("k"), true), boolDefTrue);
    QCOMPARE(ini.ReadBool(QStringLiteral("A"), QStringLiteral("k"), false), boolDefFalse);
    QCOMPARE(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("missing"), -3), -3);
    QCOMPARE(ini.ReadBool(QStringLiteral("A"), QStringLiteral("missing"), true), true);
}

void tst_IniFile::writeString_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace in place, other lines untouched")
        << QByteArray("; head\r\n[A]\r\n  x = old \r\ny=2\n[B]\r\nx=3\r\n") << "a"
        << "X"
        << "new" << QByteArray("; head\r\n[A]\r\nX=new\r\ny=2\n[B]\r\nx=3\r\n");
    QTest::newRow("replace first of duplicate keys") << QByteArray("[A]\nx=1\nx=2\n") << "A"
                                                     << "x"
                                                     << "9" << QByteArray("[A]\nx=9\nx=2\n");
    QTest::newRow("replace last line without end") << QByteArray("[A]\nx=1") << "A"
                                                   << "x"
                                                   << "2" << QByteArray("[A]\nx=2");
    QTest::newRow("append after last key, before blanks") << QByteArray("[A]\nx=1\n; note\n\n\n[B]\ny=2\n") << "A"
                                                          << "z"
                                                          << "3" << QByteArray("[A]\nx=1\nz=3\n; note\n\n\n[B]\ny=2\n");
    QTest::newRow("append keeps section's line end") << QByteArray("[A]\r\nx=1\r\n[B]\n") << "A"
                                                     << "z"
                                                     << "3" << QByteArray("[A]\r\nx=1\r\nz=3\r\n[B]\n");
    QTest::newRow("append to empty section") << QByteArray("[A]\n[B]\n") << "A"
                                             << "z"
                                             << "3" << QByteArray("[A]\nz=3\n[B]\n");
    QTest::newRow("append to last section without end") << QByteArray("[A]\nx=1") << "A"
                                                        << "y"
                                                        << "2" << QByteArray("[A]\nx=1\ny=2");
    QTest::newRow("append section") << QByteArray("[A]\nx=1\n") << "B"
                                    << "y"
                                    << "2" << QByteArray("[A]\nx=1\n[B]\ny=2\n");
    QTest::newRow("append section after missing end") << QByteArray("[A]\nx=1") << "B"
                                                      << "y"
                                                      << "2" << QByteArray("[A]\nx=1\n[B]\ny=2\n");
    QTest::newRow("append section in CRLF file") << QByteArray("[A]\r\nx=1\r\n") << "B"
                                                 << "y"
                                                 << "2" << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    QTest::newRow("new file") << QByteArray() << "Server"
                              << "0"
                              << "Home" << QByteArray("[Server]\n0=Home\n");
    QTest::newRow("first duplicate section") << QByteArray("[A]\nx=1\n[A]\ny=2\n") << "A"
                                             << "y"
                                             << "9" << QByteArray("[A]\nx=1\ny=9\n[A]\ny=2\n");
    QTest::newRow("keys before any section stay") << QByteArray("x=0\n[A]\n") << "A"
                                                  << "x"
                                                  << "1" << QByteArray("x=0\n[A]\nx=1\n");
    QTest::newRow("garbage and comments stay") << QByteArray("[A]\ngarbage\n;x=0\nx=1\n") << "A"
                                               << "x"
                                               << "2" << QByteArray("[A]\ngarbage\n;x=0\nx=2\n");
    QTest::newRow("BOM stays") << QByteArray("\xEF\xBB\xBF[A]\nx=1\n") << "A"
                               << "x"
                               << "2" << QByteArray("\xEF\xBB\xBF[A]\nx=2\n");
    QTest::newRow("BOM alone") << QByteArray("\xEF\xBB\xBF") << "A"
                               << "x"
                               << "1" << QByteArray("\xEF\xBB\xBF[A]\nx=1\n");
    QTest::newRow("blanks around given names") << QByteArray("[A]\nx=1\n") << " A "
                                               << " x "
                                               << "2" << QByteArray("[A]\nx=2\n");
    QTest::newRow("line breaks in value") << QByteArray("[A]\n") << "A"
                                          << "x"
                                          << "a\r\n[Evil]\nx=b" << QByteArray("[A]\nx=a  [Evil] x=b\n");
    QTest::newRow("line breaks in key") << QByteArray("[A]\n") << "A"
                                        << "x\n[Evil]"
                                        << "1" << QByteArray("[A]\nx [Evil]=1\n");
    QTest::newRow("line breaks in section") << QByteArray() << "A]\n[Evil"
                                            << "x"
                                            << "1" << QByteArray("[A] [Evil]\nx=1\n");
    QTest::newRow("UTF-8") << QByteArray("[信箱]\n") << "信箱"
                           << "主機"
                           << "郵件" << QByteArray("[信箱]\n主機=郵件\n");
}

void tst_IniFile::writeString()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    if (!before.isNull()) {
        put(before);
    }
    TIniFile(path()).WriteString(section, key, value);
    QCOMPARE(get(), after);
}

void tst_IniFile::writeKinds()
{
    TIniFile ini(path());
    ini.WriteInteger(QStringLiteral("W"), QStringLiteral("i"), -2147483647 - 1);
    ini.WriteInteger(QStringLiteral("W"), QStringLiteral("j"), 480);
    ini.WriteBool(QStringLiteral("W"), QStringLiteral("t"), true);
    ini.WriteBool(QStringLiteral("W"), QStringLiteral("f"), false);
    QCOMPARE(get(), QByteArray("[W]\ni=-2147483648\nj=480\nt=1\nf=0\n"));
    QCOMPARE(ini.ReadInteger(QStringLiteral("W"), QStringLiteral("i"), 0), -2147483647 - 1);
    QCOMPARE(ini.ReadBool(QStringLiteral("W"), QStringLiteral("f"), true), false);
}

void tst_IniFile::lineBreaksReadBackUnderTheSameName()
{
    TIniFile ini(path());
    const QString section = QStringLiteral("Home\r\n[Evil]");
    const QString key = QStringLiteral("Pass\nword");
    ini.WriteString(section, key, QStringLiteral("a\nEvil=1"));
    QCOMPARE(ini.ReadString(section, key, QString()), QStringLiteral("a Evil=1"));
    QVERIFY(ini.SectionExists(section));
    QVERIFY(!ini.SectionExists(QStringLiteral("Evil")));
    ini.EraseSection(section);
    QCOMPARE(get(), QByteArray());
}

void tst_IniFile::writeCreatesFileWithHeldValues()
{
    QVERIFY(!QFile::exists(path()));
    TIniFile ini(path());
    QCOMPARE(ini.ReadString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("d")), QStringLiteral("d"));
    QVERIFY(!QFile::exists(path()));
    ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), QString());
    QVERIFY(QFile::exists(path()));
    QCOMPARE(ini.ReadString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("d")), QString());
}

void tst_IniFile::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("semicolon and equals") << "a;b=c"
                                          << "a;b=c";
    QTest::newRow("brackets") << "[Server]"
                              << "[Server]";
    QTest::newRow("Chinese") << "新進信件"
                             << "新進信件";
    QTest::newRow("scrambled password") << "3FA0C1"
                                        << "3FA0C1";
    QTest::newRow("path with blanks") << "C:\\Program Files\\Mail\\mail.exe"
                                      << "C:\\Program Files\\Mail\\mail.exe";
    // The profile rules themselves: outer blanks and one pair of quotes do not survive.
    QTest::newRow("outer blanks") << "  x  "
                                  << "x";
    QTest::newRow("quoted") << "\"x\""
                            << "x";
}

void tst_IniFile::roundTrip()
{
    QFETCH(QString, value);
    QFETCH(QString, readBack);
    TIniFile ini(path());
    ini.WriteString(QStringLiteral("General"), QStringLiteral("MailProgram"), QStringLiteral("first"));
    ini.WriteString(QStringLiteral("General"), QStringLiteral("MailProgram"), value);
    QCOMPARE(ini.ReadString(QStringLiteral("general"), QStringLiteral("mailprogram"), QString()), readBack);
}

void tst_IniFile::eraseSection_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("first") << QByteArray("[A]\nx=1\n[B]\ny=2\n") << "a" << QByteArray("[B]\ny=2\n");
    QTest::newRow("middle, up to next section") << QByteArray("[A]\r\nx=1\r\n[B]\n;c\ny=2\n\ngarbage\n[C]\nz=3\n")
                                                << "B" << QByteArray("[A]\r\nx=1\r\n[C]\nz=3\n");
    QTest::newRow("last without end") << QByteArray("[A]\nx=1\n[B]\ny=2") << "B" << QByteArray("[A]\nx=1\n");
    QTest::newRow("every duplicate") << QByteArray("[A]\nx=1\n[B]\n[a]\nx=2\n") << "A" << QByteArray("[B]\n");
    QTest::newRow("keys before any section stay") << QByteArray("x=0\n[A]\nx=1\n") << "A" << QByteArray("x=0\n");
    QTest::newRow("BOM stays") << QByteArray("\xEF\xBB\xBF[A]\nx=1\n[B]\n") << "A" << QByteArray("\xEF\xBB\xBF[B]\n");
    QTest::newRow("missing section") << QByteArray("[A]\nx=1\n") << "IDs:A" << QByteArray("[A]\nx=1\n");
}

void tst_IniFile::eraseSection()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QByteArray, after);
    put(before);
    TIniFile ini(path());
    ini.EraseSection(section);
    QCOMPARE(get(), after);
    QVERIFY(!ini.SectionExists(section));
}

void tst_IniFile::eraseMissingSectionLeavesNoFile()
{
    TIniFile(path()).EraseSection(QStringLiteral("A"));
    QVERIFY(!QFile::exists(path()));
}

void tst_IniFile::deleteKey_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("only that line") << QByteArray("[Home]\nHost=h\nPassword=AB\nTop=1\n[Work]\nPassword=CD\n")
                                    << QByteArray("[Home]\nHost=h\nTop=1\n[Work]\nPassword=CD\n");
    QTest::newRow("any letter case, every copy, CRLF")
        << QByteArray("[home]\r\n PASSWORD =AB\r\nHost=h\r\npassword=EF\r\n") << QByteArray("[home]\r\nHost=h\r\n");
    QTest::newRow("last line without end")
        << QByteArray("[Home]\nHost=h\nPassword=AB") << QByteArray("[Home]\nHost=h\n");
    QTest::newRow("comment naming the key stays")
        << QByteArray("[Home]\n;Password=AB\n") << QByteArray("[Home]\n;Password=AB\n");
    QTest::newRow("missing key") << QByteArray("[Home]\nHost=h\n") << QByteArray("[Home]\nHost=h\n");
    QTest::newRow("missing section") << QByteArray("[Work]\nPassword=AB\n") << QByteArray("[Work]\nPassword=AB\n");
}

void tst_IniFile::deleteKey()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    put(before);
    TIniFile ini(path());
    ini.DeleteKey(QStringLiteral("Home"), QStringLiteral("Password"));
    QCOMPARE(get(), after);
    QCOMPARE(ini.ReadString(QStringLiteral("Home"), QStringLiteral("Password"), QStringLiteral("none")),
             QStringLiteral("none"));
    // No file is made for nothing to delete.
    TIniFile(m_dir->filePath(QStringLiteral("absent.ini"))).DeleteKey(QStringLiteral("Home"), QStringLiteral("x"));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("absent.ini"))));
}

void tst_IniFile::sectionExists()
{
    put("x=1\n[Server]\n0=Home\n[IDs:Home]\n");
    const TIniFile ini(path());
    QVERIFY(ini.SectionExists(QStringLiteral("server")));
    QVERIFY(ini.SectionExists(QStringLiteral("IDs:Home")));
    QVERIFY(!ini.SectionExists(QStringLiteral("Home")));
    QVERIFY(!TIniFile(m_dir->filePath(QStringLiteral("none.ini"))).SectionExists(QStringLiteral("Server")));
}

void tst_IniFile::nothingIsCached()
{
    TIniFile reader(path());
    TIniFile writer(path());
    writer.WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"));
    QCOMPARE(reader.ReadString(QStringLiteral("A"), QStringLiteral("x"), QString()), QStringLiteral("1"));
    put("[A]\nx=edited\n");
    QCOMPARE(reader.ReadString(QStringLiteral("A"), QStringLiteral("x"), QString()), QStringLiteral("edited"));
    writer.WriteString(QStringLiteral("A"), QStringLiteral("y"), QStringLiteral("2"));
    QCOMPARE(get(), QByteArray("[A]\nx=edited\ny=2\n"));

    // A snapshot keeps the version it read, whatever changes after; its own write goes to
    // the disk and its reads follow the file again.
    TIniFile snapshot = reader.Snapshot();
    put("[A]\nx=later\n");
    QCOMPARE(snapshot.ReadString(QStringLiteral("A"), QStringLiteral("y"), QString()), QStringLiteral("2"));
    QCOMPARE(snapshot.ReadSection(QStringLiteral("A")).size(), 2);
    QVERIFY(snapshot.SectionExists(QStringLiteral("A")));
    QCOMPARE(reader.ReadString(QStringLiteral("A"), QStringLiteral("x"), QString()), QStringLiteral("later"));
    snapshot.WriteString(QStringLiteral("B"), QStringLiteral("z"), QStringLiteral("3"));
    QCOMPARE(get(), QByteArray("[A]\nx=later\n[B]\nz=3\n"));
    put("[B]\nz=4\n");
    QCOMPARE(snapshot.ReadString(QStringLiteral("B"), QStringLiteral("z"), QString()), QStringLiteral("4"));
}

void tst_IniFile::ownerOnlyMode()
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QFileDevice::Permissions mask = ownerOnly | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                          QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther;
    TIniFile ini(path());
    ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"));
    QCOMPARE(QFile::permissions(path()) & mask, ownerOnly);
    ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("2"));
    QCOMPARE(QFile::permissions(path()) & mask, ownerOnly);

    // A file left readable by others is closed up at the next write.
    QVERIFY(QFile::setPermissions(path(), ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    ini.EraseSection(QStringLiteral("A"));
    QCOMPARE(QFile::permissions(path()) & mask, ownerOnly);
}

void tst_IniFile::replacesFileInOneStep()
{
    // A second name for the old file shows whether the write went to a new file.
    put("[A]\nx=old\n");
    const QString oldLink = m_dir->filePath(QStringLiteral("old.ini"));
    QVERIFY(::link(QFile::encodeName(path()).constData(), QFile::encodeName(oldLink).constData()) == 0);
    TIniFile ini(path());
    for (int i = 0; i < 20; ++i) {
        ini.WriteInteger(QStringLiteral("A"), QStringLiteral("n%1").arg(i), i);
    }
    QFile old(oldLink);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("[A]\nx=old\n"));
    QCOMPARE(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("n19"), -1), 19);
    // No temporary files are left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void tst_IniFile::writeThroughSymlinkKeepsLink()
{
    const QString real = m_dir->filePath(QStringLiteral("real.ini"));
    {
        QFile file(real);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[A]\nx=1\n");
    }
    QVERIFY(QFile::link(real, path()));
    TIniFile(path()).WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("2"));
    QVERIFY(QFileInfo(path()).isSymLink());
    QFile file(real);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[A]\nx=2\n"));
}

void tst_IniFile::unwritableFolderThrows()
{
    // A folder that cannot hold files: its "parent" is a plain file.
    const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString bad = blocker + QStringLiteral("/Mailvane.ini");
    TIniFile ini(bad);
    QCOMPARE(ini.ReadString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("d")), QStringLiteral("d"));
    try {
        ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"));
        QFAIL("no EWriteError");
    } catch (const EWriteError& e) {
        QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + QFileInfo(bad).absoluteFilePath());
    }

    // A relative path is reported in full.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    try {
        TIniFile(QStringLiteral("blocker/Mailvane.ini")).WriteBool(QStringLiteral("A"), QStringLiteral("x"), true);
        QDir::setCurrent(previous);
        QFAIL("no EWriteError");
    } catch (const EWriteError& e) {
        QDir::setCurrent(previous);
        QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + QFileInfo(bad).absoluteFilePath());
    }
}

void tst_IniFile::unreadableFileIsNotOverwritten()
{
    // A settings path that cannot be read (here a folder) must not be replaced by one key.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Mailvane.ini")));
    TIniFile ini(path());
    QVERIFY_THROWS_EXCEPTION(EWriteError, ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), "1"));
    QVERIFY_THROWS_EXCEPTION(EWriteError, ini.EraseSection(QStringLiteral("A")));
    QVERIFY(QFileInfo(path()).isDir());
}

void tst_IniFile::failedWriteKeepsOldContent()
{
    // A file size limit makes the write break off half-way, even for root.
    const QByteArray old = "[A]\nx=1\n[B]\n; padding that makes the file longer than the limit\n";
    put(old);
    struct rlimit saved {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 16;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &tight) == 0);
    bool writeThrew = false;
    bool eraseThrew = false;
    TIniFile ini(path());
    try {
        ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("2"));
    } catch (const EWriteError&) {
        writeThrew = true;
    }
    try {
        ini.EraseSection(QStringLiteral("Z"));
        ini.EraseSection(QStringLiteral("A"));
    } catch (const EWriteError&) {
        eraseThrew = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(writeThrew);
    QVERIFY(eraseThrew);
    QCOMPARE(get(), old);
    // The broken-off new file is not left lying beside the old one.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Mailvane.ini")});
}

void tst_IniFile::readOnlyFileIsRefused()
{
    // Mode bits, not access(): as root the kernel would let the write through.
    const QByteArray old = "[A]\nx=1\n";
    put(old);
    const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(path(), readOnly));
    TIniFile ini(path());
    try {
        ini.WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("2"));
        QFAIL("no EWriteError");
    } catch (const EWriteError& e) {
        QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + path());
    }
    QVERIFY_THROWS_EXCEPTION(EWriteError, ini.EraseSection(QStringLiteral("A")));
    QCOMPARE(get(), old);
    QCOMPARE(QFile::permissions(path()) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             readOnly);

    // Through a link, the file it points at decides.
    const QString link = m_dir->filePath(QStringLiteral("link.ini"));
    QVERIFY(QFile::link(path(), link));
    QVERIFY_THROWS_EXCEPTION(EWriteError, TIniFile(link).WriteString(QStringLiteral("A"), QStringLiteral("x"), "3"));
    QCOMPARE(get(), old);
}

namespace {
struct Interrupted {
    TIniFile::WriteStep step;
};
} // namespace

void tst_IniFile::interruptedWrite_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("newContent");
    QTest::newRow("temp written") << int(TIniFile::WriteStep::TempWritten) << false;
    QTest::newRow("temp synced") << int(TIniFile::WriteStep::TempSynced) << false;
    QTest::newRow("renamed") << int(TIniFile::WriteStep::Renamed) << true;
    QTest::newRow("folder synced") << int(TIniFile::WriteStep::FolderSynced) << true;
}

void tst_IniFile::interruptedWrite()
{
    QFETCH(int, step);
    QFETCH(bool, newContent);
    const QByteArray old = "[Home]\nHost=pop.example\nPassword=3FA0C1\n";
    const QByteArray updated = "[Home]\nHost=pop.example\nPassword=77B2\n";
    put(old);

    QList<TIniFile::WriteStep> steps;
    QStringList temps;
    TIniFile::SetWriteStepHook([&](TIniFile::WriteStep s) {
        steps << s;
        if (s == TIniFile::WriteStep::TempWritten) {
            // The new content lies complete beside the old file, readable by its owner only.
            const QFileInfoList files = QDir(m_dir->path()).entryInfoList(QDir::Files | QDir::Hidden);
            for (const QFileInfo& f : files) {
                if (f.fileName() != QLatin1String("Mailvane.ini")) {
                    temps << f.fileName();
                    QCOMPARE(f.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
                    QFile file(f.filePath());
                    QVERIFY(file.open(QIODevice::ReadOnly));
                    QCOMPARE(file.readAll(), updated);
                }
            }
        }
        if (int(s) == step) {
            throw Interrupted{s};
        }
    });
    bool interrupted = false;
    try {
        TIniFile(path()).WriteString(QStringLiteral("Home"), QStringLiteral("Password"), QStringLiteral("77B2"));
    } catch (const Interrupted& e) {
        interrupted = int(e.step) == step;
    }
    TIniFile::SetWriteStepHook({});

    QVERIFY(interrupted);
    QCOMPARE(temps.size(), 1);
    QCOMPARE(get(), newContent ? updated : old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Mailvane.ini")});
    // The data is on the disk before the new name points at it, and the name before the write returns.
    const QList<TIniFile::WriteStep> order{TIniFile::WriteStep::TempWritten, TIniFile::WriteStep::TempSynced,
                                           TIniFile::WriteStep::Renamed, TIniFile::WriteStep::FolderSynced};
    QCOMPARE(steps, order.mid(0, step + 1));
}

void tst_IniFile::staleTempIsReplaced()
{
    // Left by a crash of an earlier write: scrambled passwords, readable by all.
    QString temp;
    TIniFile::SetWriteStepHook([&](TIniFile::WriteStep s) {
        if (s == TIniFile::WriteStep::TempWritten) {
            const QStringList files = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
            for (const QString& f : files) {
                if (f != QLatin1String("Mailvane.ini")) {
                    temp = m_dir->filePath(f);
                }
            }
        }
    });
    put("[A]\nx=1\n");
    TIniFile(path()).WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("2"));
    TIniFile::SetWriteStepHook({});
    QVERIFY(!temp.isEmpty());

    {
        QFile stale(temp);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[Home]\nPassword=3FA0C1\n; and a long tail that a shorter file must not keep\n");
    }
    QVERIFY(QFile::setPermissions(temp, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    TIniFile(path()).WriteString(QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("3"));
    QCOMPARE(get(), QByteArray("[A]\nx=3\n"));
    QVERIFY(!QFile::exists(temp));
}

void tst_IniFile::namesWithLeadingZeroWidthNoBreakSpace_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const QString feff(QChar(0xFEFF));
    QTest::newRow("section") << feff + "Home"
                             << "Host"
                             << "pop.example";
    QTest::newRow("section of Chinese") << feff + "信箱"
                                        << "Host"
                                        << "pop.example";
    QTest::newRow("key") << "Home" << feff + "Host"
                         << "pop.example";
    QTest::newRow("value") << "Home"
                           << "Host" << feff + "pop.example";
}

void tst_IniFile::namesWithLeadingZeroWidthNoBreakSpace()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    put("\xEF\xBB\xBF[Server]\n0=Home\n");
    TIniFile ini(path());
    for (int i = 0; i < 3; ++i) {
        ini.WriteString(section, key, value);
        ini.WriteString(section, QStringLiteral("Top"), QString::number(i));
    }
    QCOMPARE(ini.ReadString(section, key, QStringLiteral("<def>")), value);
    QCOMPARE(ini.ReadInteger(section, QStringLiteral("Top"), -1), 2);
    QCOMPARE(ini.ReadSection(section).size(), 2);
    QCOMPARE(ini.ReadSection(section).first(), qMakePair(key, value));
    // Written once, and a real byte-order mark at the head of the file still is no part of a name.
    QCOMPARE(get().count("Top="), 1);
    QCOMPARE(ini.ReadString(QStringLiteral("Server"), QStringLiteral("0"), QString()), QStringLiteral("Home"));
    ini.EraseSection(section);
    QVERIFY(!ini.SectionExists(section));
    QCOMPARE(ini.ReadString(QStringLiteral("Server"), QStringLiteral("0"), QString()), QStringLiteral("Home"));
}

void tst_IniFile::lineEndingKept_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("eol");
    QTest::newRow("new file") << QByteArray() << QByteArray("\n");
    QTest::newRow("LF") << QByteArray("[A]\nx=1\n") << QByteArray("\n");
    QTest::newRow("LF, no final end") << QByteArray("[A]\nx=1") << QByteArray("\n");
    QTest::newRow("CRLF") << QByteArray("[A]\r\nx=1\r\n") << QByteArray("\r\n");
    QTest::newRow("CRLF, no final end") << QByteArray("[A]\r\nx=1") << QByteArray("\r\n");
    QTest::newRow("one line ending in CR") << QByteArray("[A]\r") << QByteArray("\r\n");
    QTest::newRow("one line, no end") << QByteArray("[A]") << QByteArray("\n");
}

void tst_IniFile::lineEndingKept()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, eol);
    if (!before.isNull()) {
        put(before);
    }
    TIniFile ini(path());
    // Every write, not only the last, keeps the file to one kind of line end.
    const auto oneEnding = [&] {
        const QByteArray after = get();
        QByteArray other = after;
        other.replace(eol, "");
        return after.endsWith(eol) && !other.contains('\n') && !other.contains('\r');
    };
    const QList<QPair<QString, QString>> ids{{QStringLiteral("1"), QStringLiteral("<a@x>")}};
    ini.WriteSection(QStringLiteral("IDs:B"), ids);
    QVERIFY2(oneEnding(), get().toPercentEncoding().constData());
    ini.WriteString(QStringLiteral("A"), QStringLiteral("y"), QStringLiteral("2"));
    QVERIFY2(oneEnding(), get().toPercentEncoding().constData());
    ini.WriteSection(QStringLiteral("IDs:B"), ids);
    QVERIFY2(oneEnding(), get().toPercentEncoding().constData());
    ini.WriteString(QStringLiteral("C"), QStringLiteral("z"), QStringLiteral("3"));
    ini.WriteString(QStringLiteral("A"), QStringLiteral("w"), QStringLiteral("4"));
    QVERIFY2(oneEnding(), get().toPercentEncoding().constData());
    QCOMPARE(ini.ReadString(QStringLiteral("A"), QStringLiteral("w"), QString()), QStringLiteral("4"));
    QCOMPARE(ini.ReadString(QStringLiteral("IDs:B"), QStringLiteral("1"), QString()), QStringLiteral("<a@x>"));
}

void tst_IniFile::defaultPathIsBesideExecutable()
{
    const QString expected = QCoreApplication::applicationDirPath() + QStringLiteral("/Mailvane.ini");
    QCOMPARE(TIniFile::DefaultPath(), expected);
    QVERIFY(QFileInfo(TIniFile::DefaultPath()).isAbsolute());
}

void tst_IniFile::wholeSectionMatchesKeyByKey_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("section in the middle, twice, CRLF")
        << QByteArray("[A]\r\nx=1\r\n[IDs:Box]\r\n1=<a>\r\n2=<b>\r\n[B]\r\ny=2\r\n[ids:box]\r\n9=<z>\r\n");
    QTest::newRow("no final line break") << QByteArray("[A]\nx=1");
}

void tst_IniFile::wholeSectionMatchesKeyByKey()
{
    QFETCH(QByteArray, before);
    const QList<QPair<QString, QString>> entries{{QStringLiteral("1"), QStringLiteral("<m1@x>")},
                                                 {QStringLiteral("2"), QStringLiteral("<m2@x>\r\nInjected=1")},
                                                 {QStringLiteral("3"), QStringLiteral("<m3@x>")}};
    if (!before.isNull()) {
        put(before);
    }
    TIniFile ini(path());
    ini.EraseSection(QStringLiteral("IDs:Box"));
    for (const auto& e : entries) {
        ini.WriteString(QStringLiteral("IDs:Box"), e.first, e.second);
    }
    const QByteArray keyByKey = get();

    QFile::remove(path());
    if (!before.isNull()) {
        put(before);
    }
    ini.WriteSection(QStringLiteral("IDs:Box"), entries);
    QCOMPARE(get(), keyByKey);
}

void tst_IniFile::readSection()
{
    put("[IDs:Box]\n 1 = <a> \n; note\n2=\"<b>\"\ngarbage\n1=<dup>\n[Other]\n3=<c>\n");
    const auto entries = TIniFile(path()).ReadSection(QStringLiteral("ids:box"));
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(0), qMakePair(QStringLiteral("1"), QStringLiteral("<a>")));
    QCOMPARE(entries.at(1), qMakePair(QStringLiteral("2"), QStringLiteral("<b>")));
    QCOMPARE(entries.at(2), qMakePair(QStringLiteral("1"), QStringLiteral("<dup>")));
    QVERIFY(TIniFile(path()).ReadSection(QStringLiteral("Missing")).isEmpty());
}

QTEST_GUILESS_MAIN(tst_IniFile)
#include "tst_IniFile.moc"
