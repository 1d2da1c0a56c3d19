#include "FakeRasControl.h"
#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "core/TClock.h"
#include "dialup/TDialDriver.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <stdexcept>

namespace {

const QString kCannotConnect = QStringLiteral("無法連線，請稍後再撥！");

// The program around the driver: its globals, lights and ShowError.
struct Program {
    TRAS ras;
    bool DialUpEnabled = true;
    bool DialedByProgram = false;
    int RedialsLeft = 0;
    int RedialInterval = 30;
    QStringList leds;
    QStringList errors;
    int pumps = 0;
    int pauses = 0;
    bool showErrorThrows = true;
    std::function<void(int pump)> onPump;
    std::function<void(int pause)> onPause;
    std::unique_ptr<TDialDriver> driver;

    Program()
    {
        TDialDriver::Callbacks cb;
        cb.LED = [this](const QString& colour, const QString& text) { leds << colour + QLatin1Char(' ') + text; };
        cb.ShowError = [this](const QString& text) {
            leds << QStringLiteral("Red Error");
            driver->HangUpIfDialed();
            errors << (text.isEmpty() ? QStringLiteral("不明錯誤!") : text);
            if (showErrorThrows) {
                throw EAbort();
            }
        };
        cb.ProcessEvents = [this] {
            ++pumps;
            if (pumps > 10000) {
                throw std::runtime_error("the dial loop does not end");
            }
            if (onPump) {
                onPump(pumps);
            }
        };
        cb.Pause = [this](int ms) {
            ++pauses;
            TClock::Advance(ms);
            if (onPause) {
                onPause(pauses);
            }
        };
        driver = std::make_unique<TDialDriver>(ras, DialUpEnabled, DialedByProgram, RedialsLeft, RedialInterval, cb);
    }
};

} // namespace

class tst_TDialDriver : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void connectsAfterPolls();
    void redialsUntilGivingUp_data();
    void redialsUntilGivingUp();
    void redialThenConnects();
    void refusedDialAndHangUp();
    void showErrorThatReturnsStillAborts();
    void buttonCancelsWhileDialling();
    void buttonInRedialPauseGivesUp();
    void buttonHangsUpAndDialsForGood();
    void disabledDialUpDoesNothing();
    void dialForCheck();
    void hangUpRule();
    void readSettings_data();
    void readSettings();
    void readSettingsFailures();
};

void tst_TDialDriver::init()
{
    FakeRas_Reset();
    TRasApi::SetLibraryName(QStringLiteral(MV_FAKE_RAS_PATH));
    TClock::SetFixed(QDateTime(QDate(2024, 3, 1), QTime(10, 0)));
}

void tst_TDialDriver::cleanup()
{
    TClock::SetReal();
}

void tst_TDialDriver::connectsAfterPolls()
{
    Program p;
    p.ras.RedialAttempts = 2;
    FakeRas_SetDialMode(FakeRasConnects, 3);
    p.driver->ConnectModem();
    QCOMPARE(p.leds, QStringList({QStringLiteral("Yellow Busy"), QStringLiteral("Green Ready")}));
    QVERIFY(p.DialedByProgram);
    QCOMPARE(p.RedialsLeft, 2);
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(p.pumps, 2); // events run between the polls
    QCOMPARE(p.ras.ConnectionState, quint16(RAS_StateConnected));

    // End of the check pass: the program dialled, so it hangs up.
    QCOMPARE(p.driver->HangUpIfDialed(), 0);
    QVERIFY(!p.DialedByProgram);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
}

void tst_TDialDriver::redialsUntilGivingUp_data()
{
    QTest::addColumn<int>("redials");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("dials");
    QTest::addColumn<int>("seconds");
    QTest::newRow("no redial") << 0 << 30 << 1 << 0;
    QTest::newRow("two redials") << 2 << 30 << 3 << 60;
    QTest::newRow("interval zero") << 2 << 0 << 3 << 0;
}

void tst_TDialDriver::redialsUntilGivingUp()
{
    QFETCH(int, redials);
    QFETCH(int, interval);
    QFETCH(int, dials);
    QFETCH(int, seconds);
    Program p;
    p.ras.RedialAttempts = redials;
    p.RedialInterval = interval;
    FakeRas_SetDialMode(FakeRasNoAnswer, 2);
    const QDateTime start = TClock::CurrentDateTime();

    QVERIFY_THROWS_EXCEPTION(EAbort, p.driver->ConnectModem());
    QCOMPARE(p.errors, QStringList(kCannotConnect));
    QCOMPARE(FakeRas_DialCount(), dials);
    QCOMPARE(start.msecsTo(TClock::CurrentDateTime()), qint64(seconds) * 1000);
    QCOMPARE(p.leds.last(), QStringLiteral("Red Error"));
    QVERIFY(!p.leds.contains(QStringLiteral("Green Ready")));
    // Every dial was hung up again: between redials, and by ShowError at the end.
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QVERIFY(!p.DialedByProgram);
}

void tst_TDialDriver::redialThenConnects()
{
    Program p;
    p.ras.RedialAttempts = 2;
    FakeRas_QueueDial(FakeRasNoAnswer, 1, 0);
    FakeRas_QueueDial(FakeRasConnects, 2, 0);
    const QDateTime start = TClock::CurrentDateTime();
    p.driver->ConnectModem();
    QCOMPARE(FakeRas_DialCount(), 2);
    QCOMPARE(p.RedialsLeft, 1);
    QCOMPARE(start.secsTo(TClock::CurrentDateTime()), qint64(30));
    QVERIFY(p.DialedByProgram);
    QCOMPARE(FakeRas_ConnectionCount(), 1);
    QVERIFY(p.errors.isEmpty());
}

void tst_TDialDriver::refusedDialAndHangUp()
{
    FakeRas_SetErrorText(633, "The port is already in use.");
    FakeRas_SetErrorText(668, "The connection dropped.");
    {
        Program p;
        FakeRas_SetDialResult(633);
        QVERIFY_THROWS_EXCEPTION(EAbort, p.driver->ConnectModem());
        QCOMPARE(p.errors, QStringList(QStringLiteral("The port is already in use.")));
        QCOMPARE(FakeRas_DialCount(), 1);
        QVERIFY(!p.DialedByProgram); // ShowError hung the half-made dial up
    }
    FakeRas_Reset();
    {
        // The hang-up before a redial is refused.
        Program p;
        p.ras.RedialAttempts = 1;
        FakeRas_SetDialMode(FakeRasNoAnswer, 1);
        FakeRas_SetHangUpResult(668);
        QVERIFY_THROWS_EXCEPTION(EAbort, p.driver->ConnectModem());
        QCOMPARE(FakeRas_DialCount(), 1);
        QCOMPARE(p.errors.size(), 1);
        // The failed hang-up let go of the handle, so there is no text to ask for.
        QCOMPARE(p.errors.at(0), QStringLiteral("不明錯誤!"));
    }
}

void tst_TDialDriver::showErrorThatReturnsStillAborts()
{
    Program p;
    p.showErrorThrows = false;
    p.ras.RedialAttempts = 0;
    FakeRas_SetDialMode(FakeRasNoAnswer, 1);
    QVERIFY_THROWS_EXCEPTION(EAbort, p.driver->ConnectModem());
    QCOMPARE(p.errors, QStringList(kCannotConnect));
    QCOMPARE(FakeRas_DialCount(), 1);
}

void tst_TDialDriver::buttonCancelsWhileDialling()
{
    Program p;
    p.ras.RedialAttempts = 3;
    FakeRas_SetDialMode(FakeRasHangs, 0);
    p.onPump = [&p](int pump) {
        if (pump == 3) {
            p.driver->SpeedButtonDialClick();
        }
    };
    QVERIFY_THROWS_EXCEPTION(EAbort, p.driver->ConnectModem());
    QCOMPARE(p.errors, QStringList(kCannotConnect));
    QCOMPARE(p.RedialsLeft, -1);
    QCOMPARE(p.pumps, 3);
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_HangUpCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QVERIFY(!p.DialedByProgram);
}

// The program runs during the pause before a redial: the dial button then ends the dial
// at once, and never starts a second one beside it.
void tst_TDialDriver::buttonInRedialPauseGivesUp()
{
    Program p;
    p.ras.RedialAttempts = 3;
    FakeRas_SetDialMode(FakeRasNoAnswer, 1);
    p.onPause = [&p](int pause) {
        if (pause == 2) {
            p.driver->SpeedButtonDialClick();
        }
    };
    const QDateTime start = TClock::CurrentDateTime();
    QVERIFY_THROWS_EXCEPTION(EAbort, p.driver->ConnectModem());
    QCOMPARE(p.errors, QStringList(kCannotConnect));
    QCOMPARE(p.RedialsLeft, -1);
    QCOMPARE(p.pauses, 2);
    QCOMPARE(start.msecsTo(TClock::CurrentDateTime()), qint64(500));
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QVERIFY(!p.DialedByProgram);
}

void tst_TDialDriver::buttonHangsUpAndDialsForGood()
{
    Program p;
    const RASHANDLE outside = FakeRas_AddConnection("ISP", RAS_StateConnected);
    p.driver->AdoptConnection();
    QCOMPARE(p.ras.ConnectionHandle, outside);

    p.driver->SpeedButtonDialClick();
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QCOMPARE(FakeRas_LastHangUpHandle(), outside);
    QCOMPARE(p.ras.ConnectionHandle, RASHANDLE(0));

    FakeRas_SetDialMode(FakeRasConnects, 1);
    p.driver->SpeedButtonDialClick();
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 1);
    QVERIFY(!p.DialedByProgram);

    // The next check pass finds the connection and leaves it up.
    QVERIFY(p.driver->DialForCheck(true, true));
    QCOMPARE(p.driver->HangUpIfDialed(), 0);
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_HangUpCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 1);
}

void tst_TDialDriver::disabledDialUpDoesNothing()
{
    Program p;
    p.DialUpEnabled = false;
    FakeRas_AddConnection("ISP", RAS_StateConnected);
    p.driver->SpeedButtonDialClick();
    p.driver->AdoptConnection();
    QVERIFY(p.driver->DialForCheck(false, false));
    QCOMPARE(FakeRas_CallCount(), 0);
    QCOMPARE(p.ras.ConnectionHandle, RASHANDLE(0));
}

void tst_TDialDriver::dialForCheck()
{
    Program p;
    FakeRas_SetDialMode(FakeRasConnects, 1);
    // Only connected checks wanted: the timer does not dial, the command does.
    QVERIFY(!p.driver->DialForCheck(true, true));
    QCOMPARE(FakeRas_DialCount(), 0);
    QVERIFY(p.leds.isEmpty());
    QVERIFY(p.driver->DialForCheck(false, true));
    QCOMPARE(FakeRas_DialCount(), 1);
    QVERIFY(p.DialedByProgram);
    QCOMPARE(p.driver->HangUpIfDialed(), 0);
    QVERIFY(p.driver->DialForCheck(true, false));
    QCOMPARE(FakeRas_DialCount(), 2);
}

void tst_TDialDriver::hangUpRule()
{
    Program p;
    FakeRas_SetDialMode(FakeRasConnects, 1);
    p.driver->ConnectModem();
    FakeRas_SetHangUpResult(668);
    QCOMPARE(p.driver->HangUpIfDialed(), 668);
    QVERIFY(p.DialedByProgram); // still set: a later hang-up point tries again

    p.DialedByProgram = false;
    const int calls = FakeRas_CallCount();
    QCOMPARE(p.driver->HangUpIfDialed(), 0);
    QCOMPARE(FakeRas_CallCount(), calls);
}

void tst_TDialDriver::readSettings_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("entryKey");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("entryName");
    const QStringList three{QStringLiteral("Home"), QStringLiteral("Office"), QStringLiteral("Hotel")};
    QTest::newRow("stored index") << three << QStringLiteral("Entry=1") << true << QStringLiteral("Office");
    QTest::newRow("no key") << three << QString() << true << QStringLiteral("Home");
    QTest::newRow("index past the end") << three << QStringLiteral("Entry=3") << true << QStringLiteral("Home");
    QTest::newRow("negative index") << three << QStringLiteral("Entry=-1") << true << QStringLiteral("Home");
    QTest::newRow("no entries") << QStringList() << QStringLiteral("Entry=0") << false << QString();
}

void tst_TDialDriver::readSettings()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, entryKey);
    QFETCH(bool, enabled);
    QFETCH(QString, entryName);
    for (const QString& e : entries) {
        FakeRas_AddEntry(e.toUtf8().constData());
    }
    TVarnEncryption encryption;
    encryption.Key = QStringLiteral("Mailvane");
    const QString stored = encryption.Scramble(QStringLiteral("pa55"));

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("Mailvane.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        QStringLiteral("[DialUp]\nRedial=4\nDialUpLogin=joe\nDialUpPassword=%1\n%2\n").arg(stored, entryKey).toUtf8());
    file.close();

    TRAS ras;
    bool dialUpEnabled = true;
    TDialDriver::ReadSettings(TIniFile(file.fileName()), encryption, ras, dialUpEnabled);
    QCOMPARE(dialUpEnabled, enabled);
    QCOMPARE(ras.EntryName, entryName);
    QCOMPARE(ras.RedialAttempts, 4);
    QCOMPARE(ras.UserName, QStringLiteral("joe"));
    QCOMPARE(ras.Password, QStringLiteral("pa55"));
}

void tst_TDialDriver::readSettingsFailures()
{
    FakeRas_AddEntry("Home");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    TVarnEncryption encryption;
    {
        // Without the library dial-up goes off and no entry is read; defaults still apply.
        TRasApi::SetLibraryName(QStringLiteral("/nonexistent/librasapi32.so"));
        TRAS ras;
        bool dialUpEnabled = true;
        TDialDriver::ReadSettings(TIniFile(path), encryption, ras, dialUpEnabled);
        QVERIFY(!dialUpEnabled);
        QCOMPARE(ras.RedialAttempts, 2);
        QCOMPARE(ras.Password, QString());
        QVERIFY(ras.EntryName.isEmpty());
        TRasApi::SetLibraryName(QStringLiteral(MV_FAKE_RAS_PATH));
    }
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[DialUp]\nRedial=two\nDialUpLogin=joe\n");
        file.close();
        TRAS ras;
        bool dialUpEnabled = true;
        QVERIFY_THROWS_EXCEPTION(EConvertError,
                                 TDialDriver::ReadSettings(TIniFile(path), encryption, ras, dialUpEnabled));
        QVERIFY(ras.UserName.isEmpty()); // reading stopped at the bad number
    }
}

QTEST_GUILESS_MAIN(tst_TDialDriver)
#include "tst_TDialDriver.moc"
