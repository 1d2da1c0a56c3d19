#include "CheckPass.h"
#include "core/EAbort.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TFormPassword.h"
#include "settings/TIniFile.h"
#include "testsupport/TDelayProxy.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TFakeMailHost.h"
#include "testsupport/TMailCorpus.h"
#include "viewer/TFormViewer.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

// The mailbox window against a real POP3 server.
class tst_FormMailListDovecot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstCheckListsAndRemembers();
    void deletesOnlyMarkedMessages();
    void autoDeleteKeepsNewMessages();
    void keywordRuleDeletes();
    void wrongPasswordAsksAgain();
    void viewDecodes_data();
    void viewDecodes();
    void tooLargeMessageIsNotFetched();
    void pathsAgreeThroughDelayingProxy();
    void corpusListedAndReadable();

private:
    void makeForm();
    bool check();
    QStringList row(int n) const;
    QList<QByteArray> storedSection() const;

    TDovecot m_server;
    QString m_skip;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFakeMailHost> m_host;
    std::unique_ptr<TFormMailList> m_form;
    QWidget m_viewers;
};

void tst_FormMailListDovecot::initTestCase()
{
    if (!TDovecot::Available(&m_skip)) {
        return;
    }
    QString error;
    if (!m_server.Start(&error)) {
        m_skip = error;
    }
}

void tst_FormMailListDovecot::init()
{
    if (!m_skip.isEmpty()) {
        QSKIP(qPrintable(m_skip));
    }
    m_server.Clear();
    makeForm();
}

// A mailbox window with settings of its own, as at a first start.
void tst_FormMailListDovecot::makeForm()
{
    m_form.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    const QString path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Login"), m_server.User());
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Password"), m_server.Password());
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("10"));
    m_host = std::make_unique<TFakeMailHost>();
    m_host->Path = path;
    m_host->ViewerFactory = [this] { return new QWidget(&m_viewers); };
    m_form = std::make_unique<TFormMailList>(m_host.get());
    m_form->setWindowTitle(QStringLiteral("Box"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(m_server.Port()));
    m_host->OnDeliverPassword = [this](const QString& name, const QString& clear) {
        if (name == m_form->MailboxName()) {
            m_form->SetPassword(clear);
        }
    };
}

void tst_FormMailListDovecot::cleanup()
{
    TModal::SetHook({});
    m_form.reset();
    m_host.reset();
}

bool tst_FormMailListDovecot::check()
{
    return RunCheck(m_form.get(), m_host.get());
}

QStringList tst_FormMailListDovecot::row(int n) const
{
    QStringList cells;
    for (int c = 0; c < 6; ++c) {
        cells.append(m_form->ColorStringGrid->Cells(c, n));
    }
    return cells;
}

QList<QByteArray> tst_FormMailListDovecot::storedSection() const
{
    return TFakeMailHost::StoredIds(m_host->Path, QStringLiteral("IDs:Box"));
}

void tst_FormMailListDovecot::firstCheckListsAndRemembers()
{
    m_server.AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    m_server.AddMessage(TDovecot::MakeMessage("<two@test>", "Bob <b@test>", "Second"));
    m_server.AddMessage(TDovecot::MakeMessage("<three@test>", "Carol <c@test>", "Third"));

    QVERIFY(check());
    QCOMPARE(m_form->MessageRows(), 3);
    QCOMPARE(row(1),
             QStringList({"*", "1", row(1).at(2), "Mon, 1 Jan 2024 10:00:00 +0000", "Alice <a@test>", "First"}));
    QCOMPARE(row(3).mid(3), QStringList({"Mon, 1 Jan 2024 10:00:00 +0000", "Carol <c@test>", "Third"}));
    // The server counts CR LF line ends.
    const QByteArray first = TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First");
    const int size = int(first.size() + first.count('\n'));
    QCOMPARE(row(1).at(2), QString::number(size));
    QCOMPARE(m_host->Counts[1], 3);
    QCOMPARE(m_host->Counts[2], 3);
    QCOMPARE(m_host->NewMailFoundCount, 3);
    QCOMPARE(storedSection(), QList<QByteArray>({"<one@test>", "<two@test>", "<three@test>"}));
    QCOMPARE(m_host->LastLed(), QStringLiteral("Green/Ready"));
    QCOMPARE(m_form->StatusBar->currentMessage(), QStringLiteral("連線完成！"));

    // Message 1 viewed, message 2 unmarked as if viewed, message 3 left unread.
    m_form->ColorStringGrid->SetRow(1);
    m_form->View(TOrigin::User);
    QCOMPARE(m_form->Marker(1), QString());
    m_form->SetMarker(2, QString());

    QVERIFY(check());
    QCOMPARE(m_form->Marker(1), QString());
    QCOMPARE(m_form->Marker(2), QString());
    QCOMPARE(m_form->Marker(3), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 1);
    QCOMPARE(m_host->NewMailFoundCount, 3);
}

void tst_FormMailListDovecot::deletesOnlyMarkedMessages()
{
    for (const char* id : {"<a@t>", "<b@t>", "<c@t>", "<d@t>", "<e@t>"}) {
        m_server.AddMessage(TDovecot::MakeMessage(id, "x@t", "s"));
    }
    QVERIFY(check());
    m_form->SetMarker(3, QStringLiteral("x"));
    QVERIFY(check());
    QCOMPARE(m_server.StoredIds(), QList<QByteArray>({"<a@t>", "<b@t>", "<d@t>", "<e@t>"}));
    QCOMPARE(m_form->MessageRows(), 4);
    QCOMPARE(row(3).at(1), QStringLiteral("3"));
    QCOMPARE(storedSection(), QList<QByteArray>({"<a@t>", "<b@t>", "<d@t>", "<e@t>"}));
}

void tst_FormMailListDovecot::autoDeleteKeepsNewMessages()
{
    for (const char* id : {"<a@t>", "<b@t>", "<c@t>"}) {
        m_server.AddMessage(TDovecot::MakeMessage(id, "x@t", "s"));
    }
    QVERIFY(check());
    m_form->SetMarker(1, QString());
    m_form->SetMarker(2, QString());
    m_server.AddMessage(TDovecot::MakeMessage("<d@t>", "x@t", "s"));
    m_host->AutoDeleteOn = true;
    QVERIFY(check());
    // Seen messages went; the unread one and the newcomer stay, both new.
    QCOMPARE(m_server.StoredIds(), QList<QByteArray>({"<c@t>", "<d@t>"}));
    QCOMPARE(m_form->Marker(1), QStringLiteral("*"));
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
}

void tst_FormMailListDovecot::keywordRuleDeletes()
{
    m_server.AddMessage(TDovecot::MakeMessage("<a@t>", "friend@t", "Lunch"));
    m_server.AddMessage(TDovecot::MakeMessage("<b@t>", "spam@t", "Spam offer"));
    m_host->Rules.HighLight[1] = QStringLiteral("SPAM");
    m_host->Rules.Delete[1] = true;
    QVERIFY(check());
    QCOMPARE(m_form->Marker(1), QStringLiteral("*"));
    QCOMPARE(m_form->Marker(2), QStringLiteral("x"));
    QCOMPARE(m_host->Counts[2], 1);
    QVERIFY(check());
    QCOMPARE(m_server.StoredIds(), QList<QByteArray>({"<a@t>"}));
}

void tst_FormMailListDovecot::wrongPasswordAsksAgain()
{
    m_server.AddMessage(TDovecot::MakeMessage("<a@t>", "x@t", "s"));
    QVERIFY(check());
    const QList<QByteArray> before = storedSection();

    TIniFile(m_host->Path).WriteString(QStringLiteral("Box"), QStringLiteral("Password"), QString());
    m_form->SetPassword(QString());
    QStringList answers = {QStringLiteral("wrong"), QStringLiteral("secret")};
    int prompts = 0;
    TModal::SetHook([&](QDialog* dialog) {
        auto* prompt = qobject_cast<TFormPassword*>(dialog);
        QVERIFY(prompt);
        ++prompts;
        prompt->EditPassword->setText(answers.takeFirst());
        QTest::keyClick(prompt->EditPassword, Qt::Key_Return);
    });

    m_server.AddMessage(TDovecot::MakeMessage("<b@t>", "x@t", "s"));
    QVERIFY(!check());
    QCOMPARE(prompts, 1);
    QCOMPARE(m_host->LastMessage(), QStringLiteral("使用者名稱或密碼錯誤！\n"));
    QCOMPARE(m_host->Messages.last().first, QStringLiteral("主機 : Box"));
    QCOMPARE(m_host->LastLed(), QStringLiteral("Red/Error"));
    QCOMPARE(m_form->StatusBar->currentMessage(), QStringLiteral("連線中斷!"));
    QVERIFY(m_form->Password().isEmpty());
    QCOMPARE(storedSection(), before);

    QVERIFY(check());
    QCOMPARE(prompts, 2);
    QCOMPARE(m_form->MessageRows(), 2);
    // Remembered now: no third prompt.
    QVERIFY(check());
    QCOMPARE(prompts, 2);
}

void tst_FormMailListDovecot::viewDecodes_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("quoted-printable") << QByteArray("Quoted-Printable") << QByteArray("caf=E9 au lait=\nsuite")
                                      << QByteArray("caf\xE9 au laitsuite\r\n.\r\n");
    QTest::newRow("base64") << QByteArray("base64") << QByteArray("QUJD\nREVG") << QByteArray("ABCDEF\r\n.\r\n");
}

void tst_FormMailListDovecot::viewDecodes()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, shown);
    m_server.AddMessage("Message-ID: <enc@t>\nFrom: x@t\nSubject: Encoded\nContent-Transfer-Encoding: " + encoding +
                        "\n\n" + body + "\n");
    QVERIFY(check());
    m_form->ColorStringGrid->SetRow(1);
    m_form->View(TOrigin::User);
    QCOMPARE(m_host->Viewers.size(), 1);
    QVERIFY(m_host->Viewers[0].Filled);
    QCOMPARE(m_host->Viewers[0].Subject, QStringLiteral("Encoded"));
    QCOMPARE(m_host->Viewers[0].Shown, shown);
    QVERIFY(!m_host->Viewers[0].Minimised);
    QCOMPARE(m_host->Counts[2], 0);
    QCOMPARE(m_host->LastLed(), QStringLiteral("Green/Ready"));
}

void tst_FormMailListDovecot::tooLargeMessageIsNotFetched()
{
    // With CR LF line ends the server lists exactly 65534 octets.
    // The raw view's limit: with the readable view the message would be fetched.
    TIniFile(m_host->Path).WriteString(QStringLiteral("Option"), QStringLiteral("ReadableView"), QStringLiteral("0"));
    QByteArray text = "Message-ID: <big@t>\nSubject: Big\n\n";
    const QByteArray line(98, 'a');
    while (text.size() + text.count('\n') + 100 <= 65534) {
        text += line + "\n";
    }
    const int rest = 65534 - int(text.size() + text.count('\n')) - 2;
    text += QByteArray(rest, 'b') + "\n";
    m_server.AddMessage(text);
    QVERIFY(check());
    QCOMPARE(m_form->ColorStringGrid->Cells(2, 1), QStringLiteral("65534"));

    // Any connection now would fail loudly.
    TIniFile(m_host->Path).WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QStringLiteral("1"));
    m_form->ColorStringGrid->SetRow(1);
    m_form->View(TOrigin::User);
    QVERIFY(m_host->Messages.isEmpty());
    QCOMPARE(m_host->Viewers.size(), 1);
    QCOMPARE(m_host->Viewers[0].Shown, QStringLiteral("信件過大！").toUtf8());
    // Nobody could read it: it stays new.
    QCOMPARE(m_form->Marker(1), QStringLiteral("*"));
    QCOMPARE(m_host->Counts[2], 1);
}

namespace {

// Every grid row, the markers included.
QList<QStringList> gridRows(TFormMailList& form)
{
    QList<QStringList> rows;
    for (int n = 1; n <= form.MessageRows(); ++n) {
        QStringList cells;
        for (int c = 0; c < 6; ++c) {
            cells.append(form.ColorStringGrid->Cells(c, n));
        }
        cells.append(QString::fromLatin1(form.RowId(n)));
        rows.append(cells);
    }
    return rows;
}

} // namespace

// One corpus through a link with a round trip of 20 ms: checked one command at a time (the
// server's capabilities hidden), pipelined, and again from the header cache. Rows,
// identifiers, marks and the seen list agree; the cached check fetches no headers.
void tst_FormMailListDovecot::pathsAgreeThroughDelayingProxy()
{
    for (int n = 1; n <= 40; ++n) {
        const QByteArray num = QByteArray::number(n);
        QByteArray message =
            TDovecot::MakeMessage(n % 5 == 0 ? QByteArray() : "<" + num + "@corpus>",
                                  "Sender " + num + " <s" + num + "@t>", "Subject " + num, QByteArray(n * 37, 'b'));
        if (n % 4 == 0) {
            message.replace("Subject " + num, "=?UTF-8?B?5paw5L+h5Lu2?= " + num);
        }
        m_server.AddMessage(message);
    }
    TDelayProxy proxy(quint16(m_server.Port()), 10);
    QVERIFY(proxy.Start());

    struct Path {
        QList<QStringList> first;
        QList<QStringList> second;
        QList<QByteArray> stored;
        QByteArray sentFirst;
        QByteArray sentSecond;
    };
    auto run = [&](bool hide) {
        makeForm();
        TIniFile(m_host->Path)
            .WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(proxy.Port()));
        proxy.SetHideCapabilities(hide);
        Path path;
        const qsizetype start = proxy.ClientBytes().size();
        [&] { QVERIFY(check()); }();
        path.first = gridRows(*m_form);
        const qsizetype middle = proxy.ClientBytes().size();
        // Message 2 viewed since: not new at the next check.
        m_form->SetMarker(2, QString());
        [&] { QVERIFY(check()); }();
        path.second = gridRows(*m_form);
        path.stored = storedSection();
        path.sentFirst = proxy.ClientBytes().mid(start, middle - start);
        path.sentSecond = proxy.ClientBytes().mid(middle);
        return path;
    };
    const Path plain = run(true);
    QVERIFY(!QTest::currentTestFailed());
    const Path fast = run(false);
    QVERIFY(!QTest::currentTestFailed());

    QCOMPARE(plain.first.size(), 40);
    QCOMPARE(plain.first.at(0).at(5), QStringLiteral("Subject 1"));
    QCOMPARE(fast.first, plain.first);
    QCOMPARE(fast.second, plain.second);
    QCOMPARE(fast.stored, plain.stored);
    QCOMPARE(plain.second.at(1).at(0), QString());
    QCOMPARE(plain.second.at(2).at(0), QStringLiteral("*"));
    QCOMPARE(plain.sentSecond.count("Top "), 40);
    QVERIFY(!plain.sentFirst.contains("UIDL"));
    QCOMPARE(fast.sentFirst.count("Top "), 40);
    QCOMPARE(fast.sentSecond.count("Top "), 0);
    QCOMPARE(fast.sentSecond.count("UIDL"), 1);

    // Deleting by UIDL through the same link removes exactly the marked messages.
    m_form->SetMarker(5, QStringLiteral("x"));
    m_form->SetMarker(39, QStringLiteral("x"));
    const qsizetype before = proxy.ClientBytes().size();
    QVERIFY(check());
    QVERIFY(!proxy.ClientBytes().mid(before).contains("TOP "));
    const QList<QByteArray> ids = m_server.StoredIds();
    QCOMPARE(ids.size(), 38);
    QVERIFY(!ids.contains("<39@corpus>"));
    QCOMPARE(m_form->MessageRows(), 38);
    QCOMPARE(gridRows(*m_form).at(4).at(5), fast.second.at(5).at(5));
}

void tst_FormMailListDovecot::corpusListedAndReadable()
{
    const QList<TCorpusMail> corpus = TMailCorpus::Messages(true);
    m_host->NoHeaderOn = false;
    for (const TCorpusMail& mail : corpus) {
        m_server.AddMessage(mail.Bytes);
    }
    QVERIFY(check());
    QCOMPARE(m_form->MessageRows(), corpus.size());
    for (int n = 1; n <= corpus.size(); ++n) {
        QCOMPARE(row(n).at(4), corpus[n - 1].From);
        QCOMPARE(row(n).at(5), corpus[n - 1].Subject);
    }

    QMdiArea area;
    QTemporaryDir saveDir;
    for (int n = 1; n <= corpus.size(); ++n) {
        const TCorpusMail& mail = corpus[n - 1];
        m_form->ColorStringGrid->SetRow(n);
        m_form->View(TOrigin::User);
        QCOMPARE(m_host->Viewers.size(), n);
        const TFakeMailHost::Viewer& got = m_host->Viewers.last();
        QVERIFY(got.Filled);
        QCOMPARE(got.Subject, mail.Subject);
        // The raw view keeps its limit; the readable one had the whole message.
        const bool rawTooLarge = mail.Bytes.size() >= 65534;
        QCOMPARE(got.Shown == QStringLiteral("信件過大！").toUtf8(), rawTooLarge);
        QVERIFY(got.Message.startsWith("+OK"));

        // Filled as the main window fills it.
        auto* viewer = new TFormViewer(&area, m_host->Path);
        viewer->ShowText(got.Shown, got.Whole);
        const QString raw = viewer->Memo->toPlainText();
        viewer->ShowMessage(got.Message, m_host->NoHeaderOn);
        const QString readable = viewer->Memo->toPlainText();
        for (const QString& has : mail.BodyHas) {
            QVERIFY2(readable.contains(has), qPrintable(mail.Name + ": " + has + " not in\n" + readable));
        }
        for (const QString& lacks : mail.BodyLacks) {
            QVERIFY2(!readable.contains(lacks), qPrintable(mail.Name + ": " + lacks));
        }
        QCOMPARE(viewer->ListAttachments->count(), mail.Attachments.size());
        for (int i = 0; i < mail.Attachments.size(); ++i) {
            const QString path = saveDir.filePath(QStringLiteral("%1-%2").arg(n).arg(i));
            TFormViewer::SetSaveDialogHook([&](QWidget*, const QString&) { return path; });
            viewer->ListAttachments->setCurrentRow(i);
            viewer->ButtonSave->click();
            TFormViewer::SetSaveDialogHook(nullptr);
            QFile saved(path);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QVERIFY2(saved.readAll() == mail.Attachments[i].Data, qPrintable(mail.Name));
        }
        viewer->SpeedButtonView->click();
        QCOMPARE(viewer->Memo->toPlainText(), raw);
        viewer->close();
    }
    // Every message that could be shown is no longer new.
    QCOMPARE(m_host->Counts[2], 0);
    QVERIFY(m_host->Messages.isEmpty());
}

QTEST_MAIN(tst_FormMailListDovecot)
#include "tst_FormMailListDovecot.moc"
