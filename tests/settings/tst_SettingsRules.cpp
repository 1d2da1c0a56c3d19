#include "core/EConvertError.h"
#include "settings/TSettingsRules.h"

#include <QtTest>

class tst_SettingsRules : public QObject {
    Q_OBJECT

private slots:
    void mailboxName_data();
    void mailboxName();
    void findMailboxName_data();
    void findMailboxName();
    void hourListError_data();
    void hourListError();
    void readHourList_data();
    void readHourList();
    void badHourListKeepsHoursBefore();
    void timeoutRange_data();
    void timeoutRange();
    void connectionValues_data();
    void connectionValues();
};

void tst_SettingsRules::mailboxName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");

    QTest::newRow("plain") << "Work" << true;
    QTest::newRow("inner blank") << "My mail" << true;
    QTest::newRow("chinese") << "公司信箱" << true;
    QTest::newRow("bracket inside") << "a[b" << true;
    QTest::newRow("one quote") << "\"home" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank first") << " Work" << false;
    QTest::newRow("blank last") << "Work " << false;
    QTest::newRow("tab last") << "Work\t" << false;
    QTest::newRow("closing bracket") << "a]b" << false;
    QTest::newRow("opening bracket first") << "[Work" << false;
    QTest::newRow("carriage return") << "a\rb" << false;
    QTest::newRow("line feed") << "a\nb" << false;
    QTest::newRow("quoted") << "\"Work\"" << false;
    QTest::newRow("byte-order mark first") << QString(QChar(0xFEFF)) + "Work" << false;
    QTest::newRow("Status") << "Status" << false;
    QTest::newRow("Viewer") << "Viewer" << false;
    QTest::newRow("About") << "About" << false;
    QTest::newRow("Console") << "Console" << false;
    // Window captions match exactly, so another letter case is a caption of its own.
    QTest::newRow("status in lower case") << "status" << true;
    // Program sections match without regard to letter case, as the file does.
    // A name is also the value of its line in the mailbox list, which reads back at most
    // 1023 characters: a longer one would lose its entry at the next start.
    QTest::newRow("longest the list keeps") << QString(1023, QLatin1Char('a')) << true;
    QTest::newRow("longer than the list keeps") << QString(1024, QLatin1Char('a')) << false;
    QTest::newRow("General") << "General" << false;
    QTest::newRow("general") << "general" << false;
    QTest::newRow("SERVER") << "SERVER" << false;
    QTest::newRow("Windows") << "Windows" << false;
    QTest::newRow("Option") << "Option" << false;
    QTest::newRow("Effect") << "Effect" << false;
    QTest::newRow("Filter") << "Filter" << false;
    QTest::newRow("DialUp") << "DialUp" << false;
    QTest::newRow("Schedule") << "Schedule" << false;
    QTest::newRow("seen identifiers") << "IDs:Work" << false;
    QTest::newRow("seen identifiers lower case") << "ids:Work" << false;
    QTest::newRow("IDs without colon") << "IDsWork" << true;
}

void tst_SettingsRules::mailboxName()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(TSettingsRules::ValidMailboxName(name), valid);
}

void tst_SettingsRules::findMailboxName_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");

    const QStringList listed = {"Work", "", "Home", ""};
    QTest::newRow("same case") << listed << "Home" << 2;
    QTest::newRow("other case") << listed << "wORK" << 0;
    QTest::newRow("missing") << listed << "Club" << -1;
    QTest::newRow("empty finds the first free line") << listed << "" << 1;
    QTest::newRow("no partial match") << listed << "Hom" << -1;
}

void tst_SettingsRules::findMailboxName()
{
    QFETCH(QStringList, names);
    QFETCH(QString, name);
    QFETCH(int, index);
    QCOMPARE(TSettingsRules::FindMailboxName(names, name), index);
}

void tst_SettingsRules::hourListError_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("error");

    const QString bad = QStringLiteral("Bad time schedule!");
    const QString range = QStringLiteral("時間表格式錯誤！");
    QTest::newRow("four hours") << "6,12,18,24" << QString();
    QTest::newRow("one hour") << "1" << QString();
    QTest::newRow("blank before a number") << "6, 12" << QString();
    QTest::newRow("hexadecimal") << "$C" << QString();
    QTest::newRow("blank before a comma") << "6 ,12" << bad;
    QTest::newRow("two commas") << "6,,12" << bad;
    QTest::newRow("trailing comma") << "6,12," << bad;
    QTest::newRow("empty list") << "" << bad;
    QTest::newRow("letters") << "six" << bad;
    QTest::newRow("semicolons") << "6;12" << bad;
    QTest::newRow("hour 0") << "0,6" << range;
    QTest::newRow("hour 25") << "6,25" << range;
    QTest::newRow("negative") << "-6" << range;
    // The first bad piece decides.
    QTest::newRow("range before letters") << "25,x" << range;
    QTest::newRow("letters before range") << "x,25" << bad;
    // The stored list reads back at most 1023 characters; a longer one would be cut mid-number.
    const QString longest = QStringLiteral("1,").repeated(511) + QStringLiteral("1");
    QTest::newRow("longest the file keeps") << longest << QString();
    QTest::newRow("longer than the file keeps") << longest + QStringLiteral(",1") << range;
}

void tst_SettingsRules::hourListError()
{
    QFETCH(QString, list);
    QFETCH(QString, error);
    QCOMPARE(TSettingsRules::HourListError(list), error);
}

void tst_SettingsRules::readHourList_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QList<int>>("hours");

    QTest::newRow("four hours") << "6,12,18,24" << QList<int>{6, 12, 18, 24};
    QTest::newRow("unordered, repeated") << "18,6,18" << QList<int>{6, 18};
    QTest::newRow("first and last") << "1,24" << QList<int>{1, 24};
    // A hand-edited file may hold hours outside the day: they are skipped, not refused.
    QTest::newRow("outside the day skipped") << "0,7,25,-3" << QList<int>{7};
}

void tst_SettingsRules::readHourList()
{
    QFETCH(QString, list);
    QFETCH(QList<int>, hours);
    bool marks[24];
    std::fill(std::begin(marks), std::end(marks), true); // stale marks must go
    TSettingsRules::ReadHourList(list, marks);
    QList<int> marked;
    for (int h = 1; h <= 24; ++h) {
        if (marks[h - 1]) {
            marked << h;
        }
    }
    QCOMPARE(marked, hours);
}

void tst_SettingsRules::badHourListKeepsHoursBefore()
{
    bool marks[24] = {};
    try {
        TSettingsRules::ReadHourList(QStringLiteral("3,x,9"), marks);
        QFAIL("no conversion error");
    } catch (const EConvertError& e) {
        QCOMPARE(e.message(), QStringLiteral("'x' is not a valid integer value"));
    }
    QVERIFY(marks[2]);
    QVERIFY(!marks[8]);
}

void tst_SettingsRules::timeoutRange_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("inRange");
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("30") << 30 << true;
    QTest::newRow("60") << 60 << true;
    QTest::newRow("61") << 61 << false;
}

void tst_SettingsRules::timeoutRange()
{
    QFETCH(int, seconds);
    QFETCH(bool, inRange);
    QCOMPARE(TSettingsRules::TimeoutInRange(seconds), inRange);
}

// Security word, port and pinned fingerprint as a hand-edited file or the dialog gives them.
void tst_SettingsRules::connectionValues_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");

    const QString hex = QStringLiteral("0123456789abcdef").repeated(4);
    const QString pairs = QStringLiteral("01:23:45:67:89:AB:CD:EF")
                              .repeated(4)
                              .insert(23, QLatin1Char(':'))
                              .insert(47, QLatin1Char(':'))
                              .insert(71, QLatin1Char(':'));
    QTest::newRow("security empty") << "security"
                                    << ""
                                    << "NONE";
    QTest::newRow("security none") << "security"
                                   << "None"
                                   << "NONE";
    QTest::newRow("security starttls") << "security"
                                       << "StartTLS"
                                       << "STARTTLS";
    QTest::newRow("security tls") << "security"
                                  << " tls "
                                  << "TLS";
    QTest::newRow("security ssl") << "security"
                                  << "SSL"
                                  << "";
    QTest::newRow("security yes") << "security"
                                  << "yes"
                                  << "";
    QTest::newRow("port empty") << "port"
                                << ""
                                << "ok";
    QTest::newRow("port 995") << "port"
                              << "995"
                              << "ok";
    QTest::newRow("port 1") << "port"
                            << "1"
                            << "ok";
    QTest::newRow("port 65535") << "port"
                                << "65535"
                                << "ok";
    QTest::newRow("port 0") << "port"
                            << "0"
                            << "bad";
    QTest::newRow("port 65536") << "port"
                                << "65536"
                                << "bad";
    QTest::newRow("port 0000995") << "port"
                                  << "0000995"
                                  << "bad";
    QTest::newRow("port -1") << "port"
                             << "-1"
                             << "bad";
    QTest::newRow("port name") << "port"
                               << "pop3s"
                               << "bad";
    QTest::newRow("port hex") << "port"
                              << "0x3e3"
                              << "bad";
    QTest::newRow("pin lower, bare") << "pin" << hex << pairs;
    QTest::newRow("pin upper, colons") << "pin" << pairs << pairs;
    QTest::newRow("pin short") << "pin" << hex.left(62) << "";
    QTest::newRow("pin long") << "pin" << (hex + QStringLiteral("00")) << "";
    QTest::newRow("pin not hex") << "pin" << (hex.left(63) + QStringLiteral("g")) << "";
    QTest::newRow("pin SHA-1 length") << "pin" << hex.left(40) << "";
    QTest::newRow("pin empty") << "pin"
                               << ""
                               << "";
}

void tst_SettingsRules::connectionValues()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, result);
    if (kind == QLatin1String("security")) {
        QCOMPARE(TSettingsRules::SecurityWord(text), result);
    } else if (kind == QLatin1String("port")) {
        QCOMPARE(TSettingsRules::PortError(text).isEmpty(), result == QLatin1String("ok"));
    } else {
        QCOMPARE(TSettingsRules::NormalisedFingerprint(text), result);
    }
}

QTEST_GUILESS_MAIN(tst_SettingsRules)
#include "tst_SettingsRules.moc"
