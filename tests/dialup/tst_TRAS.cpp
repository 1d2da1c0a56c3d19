#include "FakeRasControl.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QtTest>

namespace {

struct StatusSnapshot {
    TRAS* ras = nullptr;
    QList<QPair<int, int>> seen; // (ConnectionState, LastError) when the query started
};

void snapshotHook(void* context)
{
    auto* s = static_cast<StatusSnapshot*>(context);
    s->seen.append(qMakePair(int(s->ras->ConnectionState), s->ras->LastError));
}

// Every state event of a component, recorded by name.
void recordEvents(TRAS& ras, QStringList& log)
{
    auto rec = [&log](const char* name) { return [&log, name](TRAS*) { log << QString::fromLatin1(name); }; };
    ras.OnConnect = rec("OnConnect");
    ras.OnCallBack = rec("OnCallBack");
    ras.OnAboutToOpenPort = rec("OnAboutToOpenPort");
    ras.OnPortOpened = rec("OnPortOpened");
    ras.OnAboutToConnDev = rec("OnAboutToConnDev");
    ras.OnDevConnected = rec("OnDevConnected");
    ras.OnAllDevsConnected = rec("OnAllDevsConnected");
    ras.OnAuthenticate = rec("OnAuthenticate");
    ras.OnAuthNotify = rec("OnAuthNotify");
    ras.OnAuthRetry = rec("OnAuthRetry");
    ras.OnAuthCallBack = rec("OnAuthCallBack");
    ras.OnAuthChangePassword = rec("OnAuthChangePassword");
    ras.OnAuthProject = rec("OnAuthProject");
    ras.OnAuthLinkSpeed = rec("OnAuthLinkSpeed");
    ras.OnAuthAck = rec("OnAuthAck");
    ras.OnReAuthenticate = rec("OnReAuthenticate");
    ras.OnAuthenticated = rec("OnAuthenticated");
    ras.OnPrepareforCallback = rec("OnPrepareforCallback");
    ras.OnWaitForModemReset = rec("OnWaitForModemReset");
    ras.OnInteractiveStarted = rec("OnInteractiveStarted");
    ras.OnRetryAuth = rec("OnRetryAuth");
    ras.OnPasswordExpired = rec("OnPasswordExpired");
    ras.OnDisconnect = [&log](TRAS*, int error, const QString& text) {
        log << QStringLiteral("OnDisconnect %1 %2").arg(error).arg(text);
    };
}

} // namespace

class tst_TRAS : public QObject {
    Q_OBJECT
private slots:
    void init();
    void presenceTest();
    void missingLibraryAnswersMinusOne();
    void missingFunctionAnswersMinusOne();
    void dialPassesCutParameters();
    void dialRefusedAndRedialHangsUpFirst();
    void hangUpWithoutHandleCallsNothing();
    void hangUpResultsAndDisconnectEvent();
    void connectStatus();
    void statusText_data();
    void statusText();
    void errorString();
    void connectionsKeepFirstFour();
    void connectionListWalk();
    void phoneBookEntries();
    void stateEvents_data();
    void stateEvents();
    void notificationWithError();
    void disconnectNotification();
    void staleNotificationsAreDropped();
    void notificationsFromAnotherThread();
    void destructorHangsUpSilently();
};

void tst_TRAS::init()
{
    FakeRas_Reset();
    TRasApi::SetLibraryName(QStringLiteral(MV_FAKE_RAS_PATH));
}

void tst_TRAS::presenceTest()
{
    QVERIFY(TRasApi::IsPresent());
    TRasApi::SetLibraryName(QString::fromLatin1(TRasApi::DefaultLibraryName));
    QVERIFY(!TRasApi::IsPresent()); // no such library on this platform
    TRasApi::SetLibraryName(QStringLiteral("/nonexistent/librasapi32.so"));
    QVERIFY(!TRasApi::IsPresent());
}

void tst_TRAS::missingLibraryAnswersMinusOne()
{
    TRasApi::SetLibraryName(QStringLiteral("/nonexistent/librasapi32.so"));
    TRAS ras;
    ras.EntryName = QStringLiteral("ISP");
    QCOMPARE(ras.Dial(), -1);
    QCOMPARE(ras.LastError, -1);
    QCOMPARE(ras.ConnectionHandle, RASHANDLE(0));
    QCOMPARE(ras.GetConnections(), -1);
    QCOMPARE(ras.Connections.Count(), 0);
    QCOMPARE(ras.GetPhoneBookEntries(), -1);
    QVERIFY(ras.PhoneBookEntries.isEmpty());

    ras.ConnectionHandle = 0x42; // as if adopted
    QCOMPARE(ras.GetConnectStatus(), -1);
    QCOMPARE(ras.GetErrorString(678), QStringLiteral("Status Unknown"));
    QCOMPARE(ras.StatusText(), QString());
    QCOMPARE(ras.HangUp(), -1);
    QCOMPARE(ras.ConnectionHandle, RASHANDLE(0));
    QCOMPARE(FakeRas_CallCount(), 0);
}

void tst_TRAS::missingFunctionAnswersMinusOne()
{
    // This build of the library has no error-text function.
    TRasApi::SetLibraryName(QStringLiteral(MV_FAKE_RAS_PARTIAL_PATH));
    QVERIFY(TRasApi::IsPresent());
    TRAS ras;
    QCOMPARE(ras.Dial(), 0);
    QVERIFY(ras.ConnectionHandle != 0);
    QCOMPARE(TRasApi::RasGetErrorStringA(600, nullptr, 0), -1);
    QCOMPARE(ras.GetErrorString(600), QStringLiteral("Status Unknown"));
    QCOMPARE(ras.HangUpSilently(), 0);
}

void tst_TRAS::dialPassesCutParameters()
{
    TRAS ras;
    ras.EntryName = QString(300, QLatin1Char('e'));
    ras.PhoneNumber = QString(200, QLatin1Char('1'));
    ras.CallbackNumber = QStringLiteral("555");
    ras.UserName = QStringLiteral("用戶");
    ras.Password = QStringLiteral("secret");
    ras.Domain = QStringLiteral("ABCDEFGHIJKLMNOPQRST");
    QCOMPARE(ras.Dial(), 0);
    QCOMPARE(ras.LastError, 0);
    QVERIFY(ras.ConnectionHandle != 0);
    QVERIFY(ras.NotifyWindow() != nullptr);
    QCOMPARE(FakeRas_LastNotifierType(), 0xFFFFFFFFu);
    QCOMPARE(FakeRas_LastPhoneBook(), nullptr);

    const RASDIALPARAMS* p = FakeRas_LastDialParams();
    QCOMPARE(p->dwSize, 1052u);
    QCOMPARE(QByteArray(p->szEntryName), QByteArray(256, 'e'));
    QCOMPARE(QByteArray(p->szPhoneNumber), QByteArray(128, '1'));
    QCOMPARE(QByteArray(p->szCallbackNumber), QByteArray("555"));
    QCOMPARE(QString::fromUtf8(p->szUserName), QStringLiteral("用戶"));
    QCOMPARE(QByteArray(p->szPassword), QByteArray("secret"));
    QCOMPARE(QByteArray(p->szDomain), QByteArray("ABCDEFGHIJKLMNO"));

    // A name with many-byte characters is cut on a character boundary.
    ras.EntryName = QString(100, QChar(0x6492)); // 3 bytes each in UTF-8
    ras.SetPhoneBookPath(QStringLiteral("/tmp/rasphone.pbk"));
    QCOMPARE(ras.Dial(), 0);
    QCOMPARE(QString::fromUtf8(FakeRas_LastDialParams()->szEntryName), QString(85, QChar(0x6492)));
    QCOMPARE(QByteArray(FakeRas_LastPhoneBook()), QByteArray("/tmp/rasphone.pbk"));
}

void tst_TRAS::dialRefusedAndRedialHangsUpFirst()
{
    TRAS ras;
    int disconnects = 0;
    ras.OnDisconnect = [&](TRAS*, int, const QString&) { ++disconnects; };
    QCOMPARE(ras.Dial(), 0);
    const RASHANDLE first = ras.ConnectionHandle;

    FakeRas_SetDialResult(633);
    QCOMPARE(ras.Dial(), 633);
    QCOMPARE(ras.LastError, 633);
    QCOMPARE(FakeRas_HangUpCount(), 1);
    QCOMPARE(FakeRas_LastHangUpHandle(), first);
    QVERIFY(ras.ConnectionHandle != first);
    QCOMPARE(disconnects, 0); // the hang-up before a dial is silent
}

void tst_TRAS::hangUpWithoutHandleCallsNothing()
{
    TRAS ras;
    QCOMPARE(ras.HangUp(), 0);
    QCOMPARE(ras.HangUpSilently(), 0);
    QCOMPARE(ras.LastError, 0);
    QCOMPARE(FakeRas_CallCount(), 0);
    QCOMPARE(ras.StatusText(), QStringLiteral("Not Active"));
    QCOMPARE(ras.GetConnectStatus(), 0);
    QCOMPARE(ras.GetErrorString(600), QString());
    QCOMPARE(FakeRas_CallCount(), 0);
}

void tst_TRAS::hangUpResultsAndDisconnectEvent()
{
    FakeRas_SetErrorText(RAS_ErrorInvalidHandle, "The handle is invalid.");
    FakeRas_SetErrorText(668, "The connection dropped.");
    TRAS ras;
    QList<QPair<int, QString>> events;
    ras.OnDisconnect = [&](TRAS* sender, int error, const QString& text) {
        QCOMPARE(sender, &ras);
        events.append(qMakePair(error, text));
    };

    QCOMPARE(ras.Dial(), 0);
    QCOMPARE(ras.HangUp(), 0);
    QCOMPARE(ras.ConnectionHandle, RASHANDLE(0));
    QCOMPARE(ras.NotifyWindow(), nullptr);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    // The connection is gone, so asking about it answers "invalid handle" with its text.
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).first, int(RAS_ErrorInvalidHandle));
    QCOMPARE(events.at(0).second, QStringLiteral("The handle is invalid."));

    // A refused hang-up still lets go of the handle and reports the code.
    QCOMPARE(ras.Dial(), 0);
    FakeRas_SetHangUpResult(668);
    QCOMPARE(ras.HangUpSilently(), 668);
    QCOMPARE(ras.LastError, 668);
    QCOMPARE(ras.ConnectionHandle, RASHANDLE(0));
    QCOMPARE(events.size(), 1);
}

void tst_TRAS::connectStatus()
{
    TRAS ras;
    ras.ConnectionHandle = FakeRas_AddConnection("ISP", 4);
    FakeRas_SetDevice("USR 56K", "modem");
    QCOMPARE(ras.GetConnectStatus(), 0);
    QCOMPARE(ras.ConnectionState, quint16(4));
    QCOMPARE(ras.DeviceName, QStringLiteral("USR 56K"));
    QCOMPARE(ras.DeviceType, QStringLiteral("modem"));

    FakeRas_SetConnectionStatus(ras.ConnectionHandle, 0x12345 /* only the low 16 bits count */, 619);
    QCOMPARE(ras.GetConnectStatus(), 619);
    QCOMPARE(ras.ConnectionState, quint16(0x2345));
    QCOMPARE(ras.LastError, 619);

    // A failed query keeps everything but the code.
    FakeRas_SetDevice("Other", "isdn");
    FakeRas_SetStatusResult(8);
    QCOMPARE(ras.GetConnectStatus(), 8);
    QCOMPARE(ras.ConnectionState, quint16(0x2345));
    QCOMPARE(ras.DeviceName, QStringLiteral("USR 56K"));
    QCOMPARE(ras.HangUpSilently(), 0);
}

void tst_TRAS::statusText_data()
{
    QTest::addColumn<uint>("state");
    QTest::addColumn<uint>("error");
    QTest::addColumn<uint>("queryResult");
    QTest::addColumn<QString>("text");
    const char* texts[] = {"Opening Port",
                           "Port Opened",
                           "Using Device: USR 56K - modem",
                           "Device is connected",
                           "All Required Devices Connected",
                           "Validating User/Password/Domain",
                           "Authentication Notification",
                           "",
                           "Authentication Call Back",
                           "",
                           "Project",
                           "Calculating Link speed",
                           "Authentication acknowledged",
                           "Reauthenticating",
                           "Login Authenticated",
                           "Preparing for Callback",
                           "Waiting for Modem Reset",
                           "Waiting for Callback"};
    for (uint s = 0; s <= 17; ++s) {
        QTest::addRow("state %u", s) << s << 0u << 0u << QString::fromUtf8(texts[s]);
    }
    QTest::newRow("connected") << 8192u << 0u << 0u << QString();
    QTest::newRow("disconnected") << 8193u << 0u << 0u << QString();
    QTest::newRow("error 600 has its text") << 3u << 600u << 0u << QStringLiteral("Operation pending.");
    QTest::newRow("error without text") << 3u << 777u << 0u << QStringLiteral("Status Unknown");
    QTest::newRow("error below 600") << 3u << 5u << 0u << QString();
    QTest::newRow("query fails 6") << 3u << 0u << 6u << QStringLiteral("Invalid Handle");
    QTest::newRow("query fails 8") << 3u << 0u << 8u << QStringLiteral("Not enough memory");
}

void tst_TRAS::statusText()
{
    QFETCH(uint, state);
    QFETCH(uint, error);
    QFETCH(uint, queryResult);
    QFETCH(QString, text);
    FakeRas_SetDevice("USR 56K", "modem");
    FakeRas_SetErrorText(600, "Operation pending.");
    TRAS ras;
    ras.ConnectionHandle = FakeRas_AddConnection("ISP", state);
    FakeRas_SetConnectionStatus(ras.ConnectionHandle, state, error);
    FakeRas_SetStatusResult(queryResult);
    QCOMPARE(ras.StatusText(), text);
    ras.ConnectionHandle = 0;
}

void tst_TRAS::errorString()
{
    FakeRas_SetErrorText(629, "The port was disconnected by the remote machine.");
    TRAS ras;
    QCOMPARE(ras.GetErrorString(629), QString()); // no connection held
    ras.ConnectionHandle = FakeRas_AddConnection("ISP", 8192);
    QCOMPARE(ras.GetErrorString(629), QStringLiteral("The port was disconnected by the remote machine."));
    QCOMPARE(ras.GetErrorString(12345), QStringLiteral("Status Unknown"));
    ras.ConnectionHandle = 0;
}

void tst_TRAS::connectionsKeepFirstFour()
{
    TRAS ras;
    QCOMPARE(ras.GetConnections(), 0);
    QCOMPARE(ras.Connections.Count(), 0);

    QList<RASHANDLE> handles;
    for (int i = 0; i < 6; ++i) {
        handles << FakeRas_AddConnection(QByteArray("Entry ").append(char('A' + i)).constData(), 8192);
    }
    QCOMPARE(ras.GetConnections(), int(RAS_ErrorBufferTooSmall));
    QCOMPARE(ras.Connections.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ras.Connections.RASConn(i), handles.at(i));
        QCOMPARE(ras.Connections.EntryName(i), QStringLiteral("Entry %1").arg(QChar('A' + i)));
    }

    // A refill replaces, it does not append.
    FakeRas_Reset();
    FakeRas_AddConnection("Only", 8192);
    QCOMPARE(ras.GetConnections(), 0);
    QCOMPARE(ras.Connections.Count(), 1);
    QCOMPARE(ras.Connections.EntryName(0), QStringLiteral("Only"));
}

void tst_TRAS::connectionListWalk()
{
    RASCONN records[3] = {};
    for (int i = 0; i < 3; ++i) {
        records[i].dwSize = sizeof(RASCONN);
        records[i].hrasconn = RASHANDLE(10 + i);
        qstrcpy(records[i].szEntryName, QByteArray::number(i).constData());
    }
    // Filled to the brim, without a terminator.
    std::memset(records[2].szEntryName, 'z', sizeof(records[2].szEntryName));

    TConnectionList list;
    const RASCONN* next = records;
    for (int i = 0; i < 3; ++i) {
        next = list.AddConnection(next);
    }
    QCOMPARE(next, records + 3);
    records[0].hrasconn = 99; // the list holds copies
    QCOMPARE(list.RASConn(0), RASHANDLE(10));
    QCOMPARE(list.EntryName(2), QString(257, QLatin1Char('z')));

    list.Delete(1);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.RASConn(1), RASHANDLE(12));
    list.Delete(5);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.RASConn(7), RASHANDLE(0));
    QCOMPARE(list.EntryName(-1), QString());
}

void tst_TRAS::phoneBookEntries()
{
    TRAS ras;
    FakeRas_AddEntry("Home");
    FakeRas_AddEntry("");
    FakeRas_AddEntry("撥號網路");
    QCOMPARE(ras.GetPhoneBookEntries(), 0);
    QCOMPARE(ras.PhoneBookEntries, QStringList({QStringLiteral("Home"), QStringLiteral("撥號網路")}));

    FakeRas_Reset();
    for (int i = 1; i <= 25; ++i) {
        FakeRas_AddEntry(QByteArray("E").append(QByteArray::number(i)).constData());
    }
    ras.SetPhoneBookPath(QStringLiteral("/etc/ppp/book.pbk"));
    QCOMPARE(ras.LastError, int(RAS_ErrorBufferTooSmall));
    QCOMPARE(QByteArray(FakeRas_LastPhoneBook()), QByteArray("/etc/ppp/book.pbk"));
    QCOMPARE(ras.PhoneBookEntries.size(), 20);
    QCOMPARE(ras.PhoneBookEntries.first(), QStringLiteral("E1"));
    QCOMPARE(ras.PhoneBookEntries.last(), QStringLiteral("E20"));
}

void tst_TRAS::stateEvents_data()
{
    QTest::addColumn<uint>("state");
    QTest::addColumn<QString>("event");
    const char* names[] = {
        "OnAboutToOpenPort",    "OnPortOpened",        "OnAboutToConnDev", "OnDevConnected",   "OnAllDevsConnected",
        "OnAuthenticate",       "OnAuthNotify",        "OnAuthRetry",      "OnAuthCallBack",   "OnAuthChangePassword",
        "OnAuthProject",        "OnAuthLinkSpeed",     "OnAuthAck",        "OnReAuthenticate", "OnAuthenticated",
        "OnPrepareforCallback", "OnWaitForModemReset", "OnCallBack"};
    for (uint s = 0; s <= 17; ++s) {
        QTest::addRow("%u", s) << s << QString::fromLatin1(names[s]);
    }
    QTest::newRow("4096") << 4096u << QStringLiteral("OnInteractiveStarted");
    QTest::newRow("4097") << 4097u << QStringLiteral("OnRetryAuth");
    QTest::newRow("4099") << 4099u << QStringLiteral("OnPasswordExpired");
    QTest::newRow("8192") << 8192u << QStringLiteral("OnConnect");
    QTest::newRow("high bits ignored") << 0x10003u << QStringLiteral("OnDevConnected");
    QTest::newRow("4098 has none") << 4098u << QString();
    QTest::newRow("18 has none") << 18u << QString();
}

void tst_TRAS::stateEvents()
{
    QFETCH(uint, state);
    QFETCH(QString, event);
    TRAS ras;
    QStringList log;
    recordEvents(ras, log);
    FakeRas_SetDialMode(FakeRasHangs, 0);
    QCOMPARE(ras.Dial(), 0);
    FakeRas_Notify(state, 0);
    FakeRas_Notify(4098, 0); // a state without event marks the end of the delivery
    QTRY_COMPARE(ras.ConnectionState, quint16(4098));
    QCOMPARE(log, event.isEmpty() ? QStringList() : QStringList(event));
    QCOMPARE(ras.HangUpSilently(), 0);
}

void tst_TRAS::notificationWithError()
{
    TRAS ras;
    QStringList log;
    recordEvents(ras, log);
    StatusSnapshot snap;
    snap.ras = &ras;
    FakeRas_SetDialMode(FakeRasHangs, 0);
    QCOMPARE(ras.Dial(), 0);
    FakeRas_Notify(1, 0);
    QTRY_COMPARE(log, QStringList(QStringLiteral("OnPortOpened")));

    FakeRas_SetStatusHook(&snapshotHook, &snap);
    FakeRas_Notify(5, 691);
    // The status query that follows every notification sees the stored error and the old state.
    QTRY_COMPARE(snap.seen.size(), 1);
    QCOMPARE(snap.seen.at(0), qMakePair(1, 691));
    QCOMPARE(log, QStringList(QStringLiteral("OnPortOpened")));
    FakeRas_SetStatusHook(nullptr, nullptr);
    QCOMPARE(ras.HangUpSilently(), 0);
}

void tst_TRAS::disconnectNotification()
{
    FakeRas_SetErrorText(0, "No error.");
    TRAS ras;
    QStringList log;
    recordEvents(ras, log);
    QCOMPARE(ras.Dial(), 0);
    FakeRas_Notify(8193, 0);
    QTRY_COMPARE(log, QStringList(QStringLiteral("OnDisconnect 0 No error.")));
    QCOMPARE(ras.ConnectionState, quint16(8193));
    QVERIFY(ras.ConnectionHandle != 0); // telling is not hanging up
    QCOMPARE(ras.HangUpSilently(), 0);
}

void tst_TRAS::staleNotificationsAreDropped()
{
    TRAS ras;
    QStringList log;
    recordEvents(ras, log);
    FakeRas_SetDialMode(FakeRasHangs, 0);
    QCOMPARE(ras.Dial(), 0);
    QPointer<QObject> firstWindow = ras.NotifyWindow();
    FakeRas_Notify(3, 0);
    QCOMPARE(ras.HangUpSilently(), 0);
    QVERIFY(firstWindow.isNull());
    FakeRas_Notify(4, 0); // after the hang-up: goes nowhere

    // A new dial must not receive what was meant for the old one.
    QCOMPARE(ras.Dial(), 0);
    FakeRas_Notify(8192, 0);
    QTRY_COMPARE(ras.ConnectionState, quint16(8192));
    QCOMPARE(log, QStringList(QStringLiteral("OnConnect")));

    // A handler that hangs up from inside the delivery.
    ras.OnAuthAck = [](TRAS* sender) { sender->HangUp(); };
    FakeRas_Notify(12, 0);
    QTRY_COMPARE(ras.ConnectionHandle, RASHANDLE(0));
    QCOMPARE(ras.NotifyWindow(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_TRAS::notificationsFromAnotherThread()
{
    TRAS ras;
    QList<int> states;
    QList<QThread*> threads;
    auto note = [&](TRAS* sender) {
        states << sender->ConnectionState;
        threads << QThread::currentThread();
    };
    ras.OnAboutToOpenPort = ras.OnPortOpened = ras.OnAboutToConnDev = ras.OnDevConnected = note;
    ras.OnAllDevsConnected = ras.OnAuthenticate = ras.OnAuthNotify = ras.OnAuthenticated = ras.OnConnect = note;
    FakeRas_SetDialMode(FakeRasHangs, 0);
    QCOMPARE(ras.Dial(), 0);

    const uint32_t sequence[] = {0, 1, 2, 3, 4, 5, 6, 14, 8192};
    const uint32_t errors[] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    FakeRas_NotifyFromThread(sequence, errors, 9);
    QTRY_COMPARE(states.size(), 9);
    QCOMPARE(states, QList<int>({0, 1, 2, 3, 4, 5, 6, 14, 8192}));
    for (QThread* t : threads) {
        QCOMPARE(t, QCoreApplication::instance()->thread());
    }
    QCOMPARE(ras.HangUpSilently(), 0);
}

void tst_TRAS::destructorHangsUpSilently()
{
    int disconnects = 0;
    {
        TRAS ras;
        ras.OnDisconnect = [&](TRAS*, int, const QString&) { ++disconnects; };
        QCOMPARE(ras.Dial(), 0);
        QCOMPARE(FakeRas_ConnectionCount(), 1);
        QCOMPARE(TRAS(nullptr).DialEventMessage, ras.DialEventMessage);
        QVERIFY(ras.DialEventMessage >= QEvent::User);
    }
    QCOMPARE(FakeRas_HangUpCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QCOMPARE(disconnects, 0);
}

QTEST_GUILESS_MAIN(tst_TRAS)
#include "tst_TRAS.moc"
