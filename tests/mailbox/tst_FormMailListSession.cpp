#include "CheckPass.h"
#include "core/EAbort.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TFormPassword.h"
#include "mailbox/TMailSession.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "testsupport/TFakeMailHost.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TColorRef.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

// The mailbox window's POP3 sessions against a scripted server.
class tst_FormMailListSession : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void commandSequence();
    void refusalAtEveryStep_data();
    void refusalAtEveryStep();
    void greetingWithoutPlus();
    void timeoutShowsSocketError();
    void oneByteChunks();
    void unterminatedReplyIsBounded();
    void impossibleStatCount();
    void lineBreakInPasswordRefused();
    void refusedPasswordPromptsAgain();
    void newMarksAcrossChecks();
    void messageWithoutIdIsStable();
    void deleteSkipsMovedMessage();
    void autoDeleteSparesNewMessages();
    void filterMarksAndCountsOnce();
    void rawHeadersReadAsChinese();
    void viewClearsMarkOnce();
    void autoViewOpensMinimised();
    void retrReplyIsBounded();
    void longFirstBodyLineIsListed();
    void hugeHeaderIsShownCut();
    void oddMessageIdsStaySeen();
    void earlierSeenListStillReads();
    void viewRefusesMovedMessage();
    void deleteFindsMovedMarks();
    void unfoundMarkIsKeptAndReported();
    void bodyLineNeverIdentifies();
    void autoViewKeepsTooLargeNew();
    void retireDuringWait();
    void doubleClickKeepsAbortInside();
    void pipelinedToOneAtATimeServer();
    void readableViewFetchesLargeMessage();

private:
    bool check();
    bool view(int row);
    void useServer(TScriptServer& server) { usePort(server.port()); }
    void usePort(quint16 port)
    {
        TIniFile(m_host->Path).WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(port));
    }
    QList<QByteArray> storedSection() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFakeMailHost> m_host;
    QPointer<TFormMailList> m_form;
    // The connection beneath the window's session.
    TSockets* m_socket = nullptr;
    QWidget m_viewers;
};

namespace {

QByteArray msg(const QByteArray& id, const QByteArray& from = "a@t", const QByteArray& subject = "s")
{
    QByteArray m;
    if (!id.isEmpty()) {
        m += "Message-ID: " + id + "\n";
    }
    return m + "Date: Tue, 2 Jan 2024\nFrom: " + from + "\nSubject: " + subject + "\n\nbody\n";
}

} // namespace

void tst_FormMailListSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    const QString path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Login"), QStringLiteral("user"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Password"), QStringLiteral("pass"));
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("5"));
    m_host = std::make_unique<TFakeMailHost>();
    m_host->Path = path;
    m_host->ViewerFactory = [this] { return new QWidget(&m_viewers); };
    TMailSession::SetSocketsHook([this](TSockets& plain) { m_socket = &plain; });
    m_form = new TFormMailList(m_host.get());
    TMailSession::SetSocketsHook({});
    m_form->setWindowTitle(QStringLiteral("Box"));
    m_host->OnDeliverPassword = [this](const QString& name, const QString& clear) {
        if (m_form && name == m_form->MailboxName()) {
            m_form->SetPassword(clear);
        }
    };
}

void tst_FormMailListSession::cleanup()
{
    TModal::SetHook({});
    delete m_form.data();
    m_host.reset();
}

bool tst_FormMailListSession::check()
{
    return RunCheck(m_form.data(), m_host.get());
}

bool tst_FormMailListSession::view(int row)
{
    m_form->ColorStringGrid->SetRow(row);
    try {
        m_form->View(TOrigin::User);
        return true;
    } catch (const EAbort&) {
        return false;
    }
}

QList<QByteArray> tst_FormMailListSession::storedSection() const
{
    return TFakeMailHost::StoredIds(m_host->Path, QStringLiteral("IDs:Box"));
}

void tst_FormMailListSession::commandSequence()
{
    TScriptServer first;
    first.serveMailbox({msg("<1@t>"), msg("<2@t>"), msg("<3@t>")});
    useServer(first);
    QVERIFY(check());
    m_form->SetMarker(2, QStringLiteral("x"));

    const QByteArray top2 = "+OK\r\nMessage-ID: <2@t>\r\n\r\n.\r\n";
    TScriptServer server;
    server.dialogue("+OK ready", {{"CAPA", "-ERR"},
                                  {"USER user", "+OK"},
                                  {"PASS pass", "+OK"},
                                  {"TOP 2 0", top2},
                                  {"DELE 2", "+OK"},
                                  {"QUIT", "+OK bye"}});
    server.close();
    server.dialogue("+OK ready", {{"CAPA", "-ERR"},
                                  {"USER user", "+OK"},
                                  {"PASS pass", "+OK"},
                                  {"STAT", "+OK 2 200"},
                                  {"LIST 1", "+OK 1 100"},
                                  {"Top 1 1", "+OK\r\nMessage-ID: <1@t>\r\nSubject: one\r\n\r\nb\r\n.\r\n"},
                                  {"LIST 2", "+OK 2 120"},
                                  {"Top 2 1", "+OK\r\nMessage-ID: <3@t>\r\nSubject: three\r\n\r\nb\r\n.\r\n"},
                                  {"QUIT", "+OK bye"}});
    server.close();
    useServer(server);
    QVERIFY(check());
    QVERIFY(server.waitForFinished());
    QCOMPARE(server.failures(), QStringList());
    QCOMPARE(server.received(),
             QStringList({"CAPA", "USER user", "PASS pass", "TOP 2 0", "DELE 2", "QUIT", "CAPA", "USER user",
                          "PASS pass", "STAT", "LIST 1", "Top 1 1", "LIST 2", "Top 2 1", "QUIT"}));
    QCOMPARE(m_form->MessageRows(), 2);
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QStringLiteral("three"));
    QCOMPARE(m_form->ColorStringGrid->Cells(2, 2), QStringLiteral("120"));
    QCOMPARE(storedSection(), QList<QByteArray>({"<1@t>", "<3@t>"}));
}

void tst_FormMailListSession::refusalAtEveryStep_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("USER") << QByteArray("USER") << QStringLiteral("使用者名稱或密碼錯誤！");
    QTest::newRow("PASS") << QByteArray("PASS") << QStringLiteral("使用者名稱或密碼錯誤！");
    QTest::newRow("DELE") << QByteArray("DELE") << QStringLiteral("刪除信件錯誤！");
    QTest::newRow("STAT") << QByteArray("STAT") << QStringLiteral("接收資料錯誤！");
    QTest::newRow("LIST") << QByteArray("LIST") << QStringLiteral("接收資料錯誤！");
    QTest::newRow("TOP n 1") << QByteArray("TOP 2 1") << QStringLiteral("接收資料錯誤！");
    QTest::newRow("QUIT") << QByteArray("QUIT") << QStringLiteral("無法離線！");
}

void tst_FormMailListSession::refusalAtEveryStep()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, message);
    TScriptServer good;
    good.serveMailbox({msg("<1@t>"), msg("<2@t>")});
    useServer(good);
    QVERIFY(check());
    const QList<QByteArray> stored = storedSection();
    m_form->SetMarker(1, QString());
    m_form->SetMarker(2, command == "DELE" ? QStringLiteral("x") : QString());

    TScriptServer bad;
    bad.serveMailbox({msg("<1@t>"), msg("<2@t>")});
    bad.failOn(command, TScriptServer::Fault::ErrReply);
    useServer(bad);
    const int hangUps = m_host->HangUps;
    QVERIFY(!check());
    QCOMPARE(m_host->Messages.size(), 1);
    QCOMPARE(m_host->Messages.last().first, QStringLiteral("主機 : Box"));
    QCOMPARE(m_host->LastMessage(), message + QLatin1Char('\n'));
    QCOMPARE(m_form->StatusBar->currentMessage(), QStringLiteral("連線中斷!"));
    QCOMPARE(m_host->LastLed(), QStringLiteral("Red/Error"));
    QCOMPARE(m_host->HangUps, hangUps + 1);
    QVERIFY(!m_socket->IsOpen());
    QCOMPARE(storedSection(), stored);
    QCOMPARE(m_form->Password().isEmpty(), message == QStringLiteral("使用者名稱或密碼錯誤！"));
    if (command == "DELE") {
        // The mark stays for the next check, and nothing was removed.
        QCOMPARE(m_form->Marker(2), QStringLiteral("x"));
        QCOMPARE(bad.mailbox().size(), 2);
    }
}

void tst_FormMailListSession::greetingWithoutPlus()
{
    TScriptServer server;
    server.sendLine("-ERR too busy").close();
    useServer(server);
    QVERIFY(!check());
    QCOMPARE(m_host->LastMessage(), QStringLiteral("無法連線！\n"));
    QCOMPARE(server.received(), QStringList());

    // Nothing listening at all: the socket's own report.
    usePort(TScriptServer::refusedPort());
    QVERIFY(!check());
    QVERIFY(m_host->LastMessage().contains(QStringLiteral("\nError: 10061\nMessage: Connection refused\n")));
    QCOMPARE(m_form->StatusBar->currentMessage(), QStringLiteral("連線中斷！"));
}

void tst_FormMailListSession::timeoutShowsSocketError()
{
    TIniFile(m_host->Path).WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("1"));
    TScriptServer server;
    server.sendLine("+OK ready").expect("CAPA").sendLine("-ERR").expect("USER user").silent();
    useServer(server);
    QElapsedTimer t;
    t.start();
    QVERIFY(!check());
    QVERIFY(t.elapsed() < 4000);
    QCOMPARE(m_host->Messages.size(), 1);
    const QString text = m_host->LastMessage();
    QVERIFY2(QRegularExpression(QStringLiteral("^Socket: -?\\d+\nError: 10060\nMessage: Blocking call timed out\n$"))
                 .match(text)
                 .hasMatch(),
             qPrintable(text));
    QCOMPARE(m_form->StatusBar->currentMessage(), QStringLiteral("連線中斷！"));
    QCOMPARE(m_host->LastLed(), QStringLiteral("Red/Error"));
    // A socket failure never forgets the password.
    QCOMPARE(m_form->Password(), QStringLiteral("pass"));
}

void tst_FormMailListSession::oneByteChunks()
{
    TScriptServer server;
    auto step = [&](const QByteArray& expect, const QByteArray& reply) {
        server.expect(expect).sendChunked(reply, 1, 0);
    };
    server.sendChunked("+OK ready\r\n", 1, 0);
    step("CAPA", "-ERR\r\n");
    step("USER user", "+OK\r\n");
    step("PASS pass", "+OK\r\n");
    step("STAT", "+OK 1 50\r\n");
    step("LIST 1", "+OK 1 50\r\n");
    step("Top 1 1", "+OK\r\nMessage-ID: <c@t>\r\nFrom: Chunky\r\nSubject: Bytes\r\n\r\nb\r\n.\r\n");
    step("QUIT", "+OK\r\n");
    server.close();
    useServer(server);
    QVERIFY(check());
    QCOMPARE(server.failures(), QStringList());
    QCOMPARE(m_form->ColorStringGrid->Cells(2, 1), QStringLiteral("50"));
    QCOMPARE(m_form->ColorStringGrid->Cells(4, 1), QStringLiteral("Chunky"));
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 1), QStringLiteral("Bytes"));
    QCOMPARE(storedSection(), QList<QByteArray>({"<c@t>"}));
}

void tst_FormMailListSession::unterminatedReplyIsBounded()
{
    TScriptServer server;
    server.dialogue(
        "+OK",
        {{"CAPA", "-ERR"}, {"USER user", "+OK"}, {"PASS pass", "+OK"}, {"STAT", "+OK 1 9"}, {"LIST 1", "+OK 1 9"}});
    // Read past the bound, as a long line would be, until the server gives up.
    server.expect("Top 1 1").send("+OK\r\n").sendHuge(6 * 1024 * 1024).close();
    useServer(server);
    QVERIFY(!check());
    QCOMPARE(m_host->LastMessage(), QStringLiteral("接收資料錯誤！\n"));
    QCOMPARE(storedSection(), QList<QByteArray>());
}

void tst_FormMailListSession::impossibleStatCount()
{
    TScriptServer server;
    server.dialogue("+OK",
                    {{"CAPA", "-ERR"}, {"USER user", "+OK"}, {"PASS pass", "+OK"}, {"STAT", "+OK 2000000000 1"}});
    useServer(server);
    QVERIFY(!check());
    QCOMPARE(m_host->LastMessage(), QStringLiteral("接收資料錯誤！\n"));
    QVERIFY(m_form->ColorStringGrid->RowCount() < 10);
}

void tst_FormMailListSession::lineBreakInPasswordRefused()
{
    m_form->SetPassword(QStringLiteral("pa\r\nDELE 1"));
    TScriptServer server;
    server.sendLine("+OK").receiveLine().receiveLine();
    useServer(server);
    QVERIFY(!check());
    QCOMPARE(m_host->LastMessage(), QStringLiteral("使用者名稱或密碼錯誤！\n"));
    QCOMPARE(server.received(), QStringList());
    QVERIFY(m_form->Password().isEmpty());
}

void tst_FormMailListSession::refusedPasswordPromptsAgain()
{
    TIniFile(m_host->Path).WriteString(QStringLiteral("Box"), QStringLiteral("Password"), QString());
    QStringList answers = {QStringLiteral("wrong"), QStringLiteral("pass")};
    int prompts = 0;
    TModal::SetHook([&](QDialog* dialog) {
        auto* prompt = qobject_cast<TFormPassword*>(dialog);
        QVERIFY(prompt);
        ++prompts;
        QCOMPARE(prompt->LabelName->text(), QStringLiteral("Box"));
        prompt->EditPassword->setText(answers.takeFirst());
        QTest::keyClick(prompt->EditPassword, Qt::Key_Return);
    });
    TScriptServer server;
    server.serveMailbox({msg("<1@t>")});
    useServer(server);
    QVERIFY(!check());
    QCOMPARE(prompts, 1);
    QCOMPARE(m_host->LastMessage(), QStringLiteral("使用者名稱或密碼錯誤！\n"));
    QVERIFY(check());
    QCOMPARE(prompts, 2);
    QVERIFY(check());
    QCOMPARE(prompts, 2);
    QCOMPARE(m_host->Delivered.size(), 2);
    QCOMPARE(m_host->Delivered.last(), qMakePair(QStringLiteral("Box"), QStringLiteral("pass")));
}

void tst_FormMailListSession::newMarksAcrossChecks()
{
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), msg("<2@t>"), msg("<3@t>")});
    useServer(server);
    QVERIFY(check());
    for (int r = 1; r <= 3; ++r) {
        QCOMPARE(m_form->Marker(r), QStringLiteral("*"));
    }
    QCOMPARE(m_host->Counts[1], 3);
    QCOMPARE(m_host->Counts[2], 3);
    QCOMPARE(m_host->NewMailFoundCount, 3);

    // Row 1 seen, rows 2 and 3 still unread: they stay new, without a new announcement.
    m_form->SetMarker(1, QString());
    QVERIFY(check());
    QCOMPARE(m_form->Marker(1), QString());
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
    QCOMPARE(m_form->Marker(3), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 2);
    QCOMPARE(m_host->NewMailFoundCount, 3);

    m_form->SetMarker(2, QString());
    m_form->SetMarker(3, QString());
    QVERIFY(check());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(m_host->NewMailFoundCount, 3);
    for (int r = 1; r <= 3; ++r) {
        QCOMPARE(m_form->Marker(r), QString());
    }
}

void tst_FormMailListSession::messageWithoutIdIsStable()
{
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), msg(QByteArray(), "b@t", "no id"), msg("<3@t>")});
    useServer(server);
    QVERIFY(check());
    const QList<QByteArray> stored = storedSection();
    QCOMPARE(stored.size(), 3);
    QVERIFY(stored.at(1).startsWith("<no-id:"));
    for (int r = 1; r <= 3; ++r) {
        m_form->SetMarker(r, QString());
    }
    QVERIFY(check());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(storedSection(), stored);

    // It can be deleted like any other.
    m_form->SetMarker(2, QStringLiteral("x"));
    QVERIFY(check());
    QCOMPARE(server.mailbox().size(), 2);
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QStringLiteral("s"));
}

void tst_FormMailListSession::deleteSkipsMovedMessage()
{
    TScriptServer before;
    before.serveMailbox({msg("<a@t>"), msg("<b@t>"), msg("<c@t>")});
    useServer(before);
    QVERIFY(check());
    m_form->SetMarker(1, QStringLiteral("x"));
    m_form->SetMarker(2, QStringLiteral("x"));

    // Another program removed message 2 meanwhile: number 2 is now <c@t>.
    TScriptServer after;
    after.serveMailbox({msg("<a@t>"), msg("<c@t>")});
    useServer(after);
    QVERIFY(check());
    QCOMPARE(after.mailbox(), QList<QByteArray>({QByteArray(msg("<c@t>")).replace("\n", "\r\n")}));
    QCOMPARE(after.received().filter(QStringLiteral("DELE")), QStringList({"DELE 1"}));
    QCOMPARE(storedSection(), QList<QByteArray>({"<c@t>"}));
}

void tst_FormMailListSession::autoDeleteSparesNewMessages()
{
    TScriptServer server;
    server.serveMailbox({msg("<a@t>"), msg("<b@t>"), msg("<c@t>")});
    useServer(server);
    QVERIFY(check());
    m_form->SetMarker(1, QString());
    m_form->SetMarker(3, QString());
    m_host->AutoDeleteOn = true;
    QVERIFY(check());
    QCOMPARE(server.mailbox().size(), 1);
    QCOMPARE(storedSection(), QList<QByteArray>({"<b@t>"}));
    QCOMPARE(m_form->Marker(1), QStringLiteral("*"));
}

void tst_FormMailListSession::filterMarksAndCountsOnce()
{
    m_host->Rules.HighLight[0] = QStringLiteral("SALE");
    m_host->Rules.Delete[0] = false;
    m_host->Rules.HighLight[2] = QStringLiteral("PROMO");
    m_host->Rules.Delete[2] = true;
    TScriptServer server;
    server.serveMailbox({msg("<1@t>", "promo@shop", "Promo inside"), msg("<2@t>", "friend@t", "big sale"),
                         msg("<3@t>", "friend@t", "hello")});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_form->Marker(1), QStringLiteral("x"));
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
    QCOMPARE(m_form->Marker(3), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 2);
    QCOMPARE(m_host->NewMailFoundCount, 3);
    // The next check deletes it.
    QVERIFY(check());
    QCOMPARE(server.mailbox().size(), 2);
    QCOMPARE(m_form->MessageRows(), 2);
}

void tst_FormMailListSession::rawHeadersReadAsChinese()
{
    m_host->Rules.HighLight[0] = QStringLiteral("通知");
    m_host->Rules.HighLightColor[0] = 0x0000FF;
    m_host->Rules.HighLight[1] = QStringLiteral("會議");
    m_host->Rules.Delete[1] = true;
    // Subjects sent as raw bytes, without encoded words.
    const QByteArray big5Subject("\xB7\x7C\xC4\xB3\xB3\x71\xAA\xBE");
    TScriptServer server;
    server.serveMailbox({msg("<1@t>", "a@t", big5Subject), msg("<2@t>", "a@t", "\xE9\x80\xB1\xE5\xA0\xB1"),
                         "Message-ID: <3@t>\nContent-Type: text/plain; charset=gb2312\nFrom: \xD6\xD0\n"
                         "Subject: \xD6\xD0\xCE\xC4\n\nbody\n",
                         msg("<4@t>", "a@t", "Caf\xE9 Bar")});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 1), QStringLiteral("會議通知"));
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QStringLiteral("週報"));
    QCOMPARE(m_form->ColorStringGrid->Cells(4, 3), QStringLiteral("中"));
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 3), QStringLiteral("中文"));
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 4), QStringLiteral("Café Bar"));
    QCOMPARE(m_form->Marker(1), QStringLiteral("x"));
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
    TCellPaint paint;
    paint.Brush = QBrush(m_form->ColorStringGrid->GridColor());
    m_form->ColorStringGridGetCellColor(m_form->ColorStringGrid, 1, 5, QStyle::State_None, paint);
    QCOMPARE(paint.FontColor, TColorRef::ToQColor(0x0000FF));
}

void tst_FormMailListSession::viewClearsMarkOnce()
{
    TScriptServer server;
    server.serveMailbox({msg("<1@t>", "a@t", "Hi")});
    useServer(server);
    QVERIFY(check());
    m_host->NoHeaderOn = false;
    QVERIFY(view(1));
    QCOMPARE(m_form->Marker(1), QString());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(m_host->Viewers.size(), 1);
    const QByteArray shown = m_host->Viewers[0].Shown;
    QVERIFY(shown.startsWith("+OK"));
    QVERIFY(shown.endsWith("\r\n.\r\n"));
    QVERIFY(server.received().contains(QStringLiteral("RETR 1")));
    QCOMPARE(m_host->HangUps, 1);
    QCOMPARE(m_form->StatusBar->currentMessage(), QStringLiteral("連線完成！"));

    QVERIFY(view(1));
    QCOMPARE(m_host->Counts[2], 0);

    // Guards: nothing selected, or another session running.
    m_form->ColorStringGrid->clearSelection();
    m_form->ColorStringGrid->setCurrentIndex(QModelIndex());
    m_form->View(TOrigin::User);
    m_host->BusyOverride = true;
    QVERIFY(view(1));
    QCOMPARE(m_host->Viewers.size(), 2);
}

void tst_FormMailListSession::autoViewOpensMinimised()
{
    m_host->AutoViewOn = true;
    m_host->DialUp = true;
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), msg("<2@t>")});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->Viewers.size(), 2);
    QVERIFY(m_host->Viewers[0].Minimised);
    QVERIFY(m_host->Viewers[1].Minimised);
    QCOMPARE(m_host->Counts[2], 0);
    // No active connection: the first view dials, the second finds it up.
    QCOMPARE(m_host->Dials, 1);
}

void tst_FormMailListSession::retrReplyIsBounded()
{
    TScriptServer first;
    first.serveMailbox({msg("<1@t>")});
    useServer(first);
    QVERIFY(check());
    TScriptServer server;
    server.dialogue("+OK", {{"CAPA", "-ERR"},
                            {"USER user", "+OK"},
                            {"PASS pass", "+OK"},
                            {"TOP 1 0", "+OK\r\nMessage-ID: <1@t>\r\n\r\n.\r\n"}});
    server.expect("RETR 1").send("+OK\r\n").sendHuge(3 * 1024 * 1024);
    useServer(server);
    QVERIFY(!view(1));
    QCOMPARE(m_host->LastMessage(), QStringLiteral("下載信件錯誤\n"));
    QCOMPARE(m_form->Marker(1), QStringLiteral("*"));
    QVERIFY(!m_host->Viewers[0].Filled);
}

void tst_FormMailListSession::retireDuringWait()
{
    TScriptServer server;
    server.sendLine("+OK").silent();
    useServer(server);
    QTimer::singleShot(200, m_form, [this] {
        QVERIFY(m_form->InSession());
        m_form->Retire();
    });
    QElapsedTimer t;
    t.start();
    QVERIFY(!check());
    QVERIFY(t.elapsed() < 3000);
    QVERIFY(m_host->Messages.isEmpty());
    QVERIFY(m_form);
    QTRY_VERIFY(!m_form);
}

void tst_FormMailListSession::doubleClickKeepsAbortInside()
{
    TScriptServer server;
    server.serveMailbox({msg("<1@t>")});
    useServer(server);
    QVERIFY(check());
    usePort(TScriptServer::refusedPort());
    m_form->ColorStringGrid->SetRow(1);
    // Qt calls this handler directly: the failure must end there, shown, not thrown.
    emit m_form->ColorStringGrid->CellDoubleClicked(1);
    QCOMPARE(m_host->Messages.size(), 1);
    QCOMPARE(m_host->LastLed(), QStringLiteral("Red/Error"));
    QCOMPARE(m_form->Marker(1), QStringLiteral("*"));
    QCOMPARE(m_host->Viewers.size(), 1);
}

void tst_FormMailListSession::longFirstBodyLineIsListed()
{
    // Unwrapped HTML: one line longer than any reply bound.
    const QByteArray huge = "Message-ID: <2@t>\nDate: d\nFrom: big@t\nSubject: big\n\n<html>" +
                            QByteArray(4800 * 1024, 'h') + "\nsecond line\n";
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), huge, msg("<3@t>", "c@t", "third")});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->Messages.size(), 0);
    QCOMPARE(m_form->MessageRows(), 3);
    QCOMPARE(m_form->ColorStringGrid->Cells(4, 2), QStringLiteral("big@t"));
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QStringLiteral("big"));
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 3), QStringLiteral("third"));
    QCOMPARE(storedSection(), QList<QByteArray>({"<1@t>", "<2@t>", "<3@t>"}));

    for (int r = 1; r <= 3; ++r) {
        m_form->SetMarker(r, QString());
    }
    m_form->SetMarker(2, QStringLiteral("x"));
    QVERIFY(check());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(server.mailbox().size(), 2);
    QCOMPARE(storedSection(), QList<QByteArray>({"<1@t>", "<3@t>"}));
}

void tst_FormMailListSession::hugeHeaderIsShownCut()
{
    // A header line of megabytes: laid out whole, one paint of its cell took seconds.
    m_host->Rules.HighLight[0] = QStringLiteral("MARKER");
    m_host->Rules.HighLightColor[0] = 0x0000FF;
    const QByteArray longText = "Start " + QByteArray(1024 * 1024, 'w') + " MARKER";
    TScriptServer server;
    server.serveMailbox({msg("<1@t>", longText, longText)});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_form->MessageRows(), 1);
    for (int col : {4, 5}) {
        const QString cell = m_form->ColorStringGrid->Cells(col, 1);
        QCOMPARE(cell.size(), TMailListModel::ShownLength);
        QVERIFY(cell.contains(QLatin1String("Start www")));
        QCOMPARE(cell.back(), QChar(0x2026));
        // The rule's word lies past the cut: rules read the whole text.
        TCellPaint paint;
        paint.Brush = QBrush(m_form->ColorStringGrid->GridColor());
        m_form->ColorStringGridGetCellColor(m_form->ColorStringGrid, 1, col, QStyle::State_None, paint);
        QCOMPARE(paint.FontColor, TColorRef::ToQColor(0x0000FF));
    }
    QVERIFY(m_form->List().Row(1).Subject.endsWith(QLatin1String(" MARKER")));
    QVERIFY(view(1));
    QCOMPARE(m_host->Viewers.size(), 1);
    QCOMPARE(m_host->Viewers[0].Subject, m_form->ColorStringGrid->Cells(5, 1));
}

void tst_FormMailListSession::oddMessageIdsStaySeen()
{
    const QList<QByteArray> mails = {msg("\"\""), msg("\"q@example.com\""), msg("<cr\rinside@t>"), msg("<4@t>")};
    TScriptServer server;
    server.serveMailbox(mails);
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->NewMailFoundCount, 4);
    QCOMPARE(storedSection().size(), 4);
    for (int r = 1; r <= 4; ++r) {
        m_form->SetMarker(r, QString());
    }
    QVERIFY(check());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(m_host->NewMailFoundCount, 4);

    // A restart: a new window knows only the file.
    delete m_form.data();
    m_form = new TFormMailList(m_host.get());
    m_form->setWindowTitle(QStringLiteral("Box"));
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(m_host->NewMailFoundCount, 4);
}

void tst_FormMailListSession::earlierSeenListStillReads()
{
    // As earlier versions wrote it: the ID as received, trimmed.
    TIniFile ini(m_host->Path);
    ini.WriteString(QStringLiteral("IDs:Box"), QStringLiteral("1"), QStringLiteral("<1@T>"));
    ini.WriteString(QStringLiteral("IDs:Box"), QStringLiteral("2"), QStringLiteral("\"q@example.com\""));
    ini.WriteString(QStringLiteral("IDs:Box"), QStringLiteral("3"), QStringLiteral("<3@t>"));
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), msg("\"q@example.com\""), msg("<3@t>"), msg("<4@t>")});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->NewMailFoundCount, 1);
    QCOMPARE(m_form->Marker(3), QString());
    QCOMPARE(m_form->Marker(4), QStringLiteral("*"));
}

void tst_FormMailListSession::viewRefusesMovedMessage()
{
    const QList<QByteArray> mails = {msg("<1@t>", "a@t", "first"), msg("<2@t>", "a@t", "second"),
                                     msg("<3@t>", "a@t", "third"), msg("<4@t>", "a@t", "fourth")};
    TScriptServer before;
    before.serveMailbox(mails);
    useServer(before);
    QVERIFY(check());

    // Another client removed message 1: number 3 is now "fourth".
    TScriptServer after;
    after.serveMailbox(mails.mid(1));
    useServer(after);
    QVERIFY(view(3));
    QCOMPARE(after.received().filter(QStringLiteral("RETR")), QStringList());
    QCOMPARE(m_host->LastMessage(), QStringLiteral("信件已移動或刪除，請重新檢查！\n"));
    QCOMPARE(m_form->Marker(3), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 4);
    QCOMPARE(m_host->Viewers.size(), 1);
    QVERIFY(!m_host->Viewers[0].Filled);

    // After a new listing the same row shows its own message.
    QVERIFY(check());
    QVERIFY(view(3));
    QCOMPARE(m_host->Messages.size(), 1);
    QVERIFY(m_host->Viewers[1].Whole.contains("Message-ID: <4@t>"));
    QCOMPARE(m_form->Marker(3), QString());
}

void tst_FormMailListSession::deleteFindsMovedMarks()
{
    QList<QByteArray> mails;
    for (int n = 1; n <= 5; ++n) {
        mails.append(msg("<" + QByteArray::number(n) + "@t>"));
    }
    TScriptServer before;
    before.serveMailbox(mails);
    useServer(before);
    QVERIFY(check());
    m_form->SetMarker(3, QStringLiteral("x"));
    m_form->SetMarker(5, QStringLiteral("x"));

    TScriptServer after;
    after.serveMailbox(mails.mid(1));
    useServer(after);
    QVERIFY(check());
    QCOMPARE(after.received().filter(QStringLiteral("DELE")), QStringList({"DELE 2", "DELE 4"}));
    QCOMPARE(m_host->Messages.size(), 0);
    QCOMPARE(storedSection(), QList<QByteArray>({"<2@t>", "<4@t>"}));
}

void tst_FormMailListSession::unfoundMarkIsKeptAndReported()
{
    TScriptServer before;
    before.serveMailbox({msg("<1@t>"), msg("<2@t>"), msg("<3@t>")});
    useServer(before);
    QVERIFY(check());
    m_form->SetMarker(2, QStringLiteral("x"));

    // The server will not show message 2's headers in the deletion session.
    TScriptServer refusing;
    refusing.serveMailbox({msg("<1@t>"), msg("<2@t>"), msg("<3@t>")});
    refusing.failOn("TOP 2 0", TScriptServer::Fault::ErrReply);
    useServer(refusing);
    QVERIFY(check());
    QCOMPARE(refusing.received().filter(QStringLiteral("DELE")), QStringList());
    QCOMPARE(m_host->Messages.size(), 1);
    QVERIFY(m_host->LastMessage().contains(QStringLiteral("未能刪除")));
    QCOMPARE(m_form->Marker(2), QStringLiteral("x"));
    QCOMPARE(m_form->Marker(3), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 2);

    TScriptServer willing;
    willing.serveMailbox({msg("<1@t>"), msg("<2@t>"), msg("<3@t>")});
    useServer(willing);
    QVERIFY(check());
    QCOMPARE(willing.received().filter(QStringLiteral("DELE")), QStringList({"DELE 2"}));
}

void tst_FormMailListSession::bodyLineNeverIdentifies()
{
    // No Message-ID and no Subject header; the first body line looks like one.
    const QByteArray odd = "Date: d\nFrom: odd@t\n\nSubject: not a header\nrest\n";
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), odd});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QString());
    m_form->SetMarker(2, QStringLiteral("x"));
    QVERIFY(check());
    QCOMPARE(server.mailbox().size(), 1);
    QCOMPARE(m_form->MessageRows(), 1);
}

void tst_FormMailListSession::autoViewKeepsTooLargeNew()
{
    // The raw view's limit; the readable view fetches such a message (next test).
    TIniFile(m_host->Path).WriteString(QStringLiteral("Option"), QStringLiteral("ReadableView"), QStringLiteral("0"));
    m_host->AutoViewOn = true;
    const QByteArray large = msg("<big@t>", "a@t", "large") + QByteArray(70000, 'l') + "\n";
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), large});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->Viewers.size(), 2);
    QCOMPARE(m_form->Marker(1), QString());
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 1);
    QCOMPARE(server.received().filter(QStringLiteral("RETR")), QStringList({"RETR 1"}));

    // Automatic deletion spares it: nobody has read it.
    m_host->AutoDeleteOn = true;
    QVERIFY(check());
    QCOMPARE(server.mailbox().size(), 1);
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 1), QStringLiteral("large"));
}

void tst_FormMailListSession::readableViewFetchesLargeMessage()
{
    m_host->AutoViewOn = true;
    const QByteArray large = msg("<big@t>", "a@t", "large") + QByteArray(70000, 'l') + "\n";
    TScriptServer server;
    server.serveMailbox({msg("<1@t>"), large});
    useServer(server);
    QVERIFY(check());
    QCOMPARE(m_host->Viewers.size(), 2);
    QCOMPARE(server.received().filter(QStringLiteral("RETR")), QStringList({"RETR 1", "RETR 2"}));
    // Read in the readable view, it is no longer new; the raw view keeps its limit.
    QCOMPARE(m_form->Marker(2), QString());
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(m_host->Viewers[1].Shown, QStringLiteral("信件過大！").toUtf8());
    QVERIFY(m_host->Viewers[1].Message.contains(QByteArray(70000, 'l')));
}

QTEST_MAIN(tst_FormMailListSession)
#include "tst_FormMailListSession.moc"

// A server that lists PIPELINING but reads and answers one command at a time: more messages
// than one window holds, listed, then listed again from the cache, then deleted by UIDL.
void tst_FormMailListSession::pipelinedToOneAtATimeServer()
{
    QList<QByteArray> messages;
    for (int n = 1; n <= 300; ++n) {
        const QByteArray num = QByteArray::number(n);
        messages.append(msg(n % 7 == 0 ? QByteArray() : "<" + num + "@t>", "f" + num, "s" + num));
    }
    TScriptServer server;
    server.serveMailbox(messages);
    server.announce({"PIPELINING", "UIDL", "TOP"});
    useServer(server);
    // The grid takes the rows a listing adds in a few steps, not one at a time, and a cell
    // signals a change only when its text changes: six times a row at most.
    int insertions = 0;
    int cellsSet = 0;
    connect(m_form->ColorStringGrid->model(), &QAbstractItemModel::rowsInserted, this, [&insertions] { ++insertions; });
    connect(m_form->ColorStringGrid->model(), &QAbstractItemModel::dataChanged, this, [&cellsSet] { ++cellsSet; });
    QVERIFY(check());
    QVERIFY2(insertions < 30, qPrintable(QString::number(insertions)));
    QVERIFY2(cellsSet <= 300 * 6, qPrintable(QString::number(cellsSet)));
    QCOMPARE(m_form->MessageRows(), 300);
    QStringList first;
    for (int n = 1; n <= 300; ++n) {
        QCOMPARE(m_form->ColorStringGrid->Cells(5, n), QStringLiteral("s%1").arg(n));
        first.append(QString::fromLatin1(m_form->RowId(n)));
    }
    const QList<QByteArray> stored = storedSection();
    QCOMPARE(stored.size(), 300);
    QCOMPARE(server.received().filter(QStringLiteral("Top ")).size(), 300);

    const int before = int(server.received().size());
    QVERIFY(check());
    const QStringList second = server.received().mid(before);
    QCOMPARE(second.filter(QStringLiteral("Top ")).size(), 0);
    QCOMPARE(second.filter(QStringLiteral("LIST ")).size(), 300);
    QCOMPARE(storedSection(), stored);
    for (int n = 1; n <= 300; ++n) {
        QCOMPARE(QString::fromLatin1(m_form->RowId(n)), first.at(n - 1));
        QCOMPARE(m_form->ColorStringGrid->Cells(4, n), QStringLiteral("f%1").arg(n));
    }

    m_form->MarkDelete(7);
    m_form->MarkDelete(300);
    const int beforeDelete = int(server.received().size());
    QVERIFY(check());
    const QStringList third = server.received().mid(beforeDelete);
    QVERIFY(third.contains(QStringLiteral("DELE 7")) && third.contains(QStringLiteral("DELE 300")));
    QVERIFY(third.filter(QStringLiteral("TOP ")).isEmpty());
    QCOMPARE(server.mailbox().size(), 298);
    QCOMPARE(m_form->MessageRows(), 298);
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 7), QStringLiteral("s8"));
}
