#include "mailbox/TMimeMessage.h"
#include "testsupport/TMailCorpus.h"
#include "testsupport/TRandomText.h"

#include <QElapsedTimer>
#include <QtTest>

class tst_MimeMessage : public QObject {
    Q_OBJECT
private slots:
    void corpus_data();
    void corpus();
    void headerText_data();
    void headerText();
    void headerValue();
    void pop3ReplyIsUnstuffed();
    void headerBlockHidden();
    void hostileStructure_data();
    void hostileStructure();
    void attachmentNames_data();
    void attachmentNames();
};

void tst_MimeMessage::corpus_data()
{
    QTest::addColumn<int>("index");
    const QList<TCorpusMail> mails = TMailCorpus::Messages(false);
    for (int i = 0; i < mails.size(); ++i) {
        QTest::newRow(mails[i].Name.constData()) << i;
    }
}

void tst_MimeMessage::corpus()
{
    QFETCH(int, index);
    const TCorpusMail mail = TMailCorpus::Messages(false).at(index);
    const TMimeMessage message(mail.Bytes);
    QCOMPARE(message.From(), mail.From);
    QCOMPARE(message.Subject(), mail.Subject);
    const QString text = message.Text(true);
    QVERIFY2(text.startsWith(QStringLiteral("寄件者: ") + mail.From + QLatin1Char('\n')), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("主旨: ") + mail.Subject + QLatin1Char('\n')), qPrintable(text));
    for (const QString& has : mail.BodyHas) {
        QVERIFY2(text.contains(has), qPrintable(has + QStringLiteral(" not in:\n") + text));
    }
    for (const QString& lacks : mail.BodyLacks) {
        QVERIFY2(!text.contains(lacks), qPrintable(lacks + QStringLiteral(" in:\n") + text));
    }
    QVERIFY(!text.contains(QLatin1Char('\r')));
    QCOMPARE(message.Attachments().size(), mail.Attachments.size());
    for (int i = 0; i < mail.Attachments.size(); ++i) {
        QCOMPARE(message.Attachments()[i].FileName, mail.Attachments[i].FileName);
        QCOMPARE(message.Attachments()[i].Type, mail.Attachments[i].Type);
        QCOMPARE(message.Attachments()[i].Size, qint64(mail.Attachments[i].Data.size()));
        QVERIFY(message.AttachmentData(i) == mail.Attachments[i].Data);
    }
    QVERIFY(message.AttachmentData(mail.Attachments.size()).isEmpty());
    QVERIFY(message.AttachmentData(-1).isEmpty());
}

void tst_MimeMessage::headerText_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("text");

    const QByteArray none;
    QTest::newRow("adjacent words joined, blank between kept elsewhere")
        << QByteArray("=?UTF-8?B?5a2j?= =?UTF-8?B?5bqm?= end") << none << QStringLiteral("季度 end");
    QTest::newRow("folded between words") << QByteArray("=?UTF-8?Q?=E6=B8=AC?=\r\n\t=?UTF-8?Q?=E8=A9=A6?=\r\n more")
                                          << none << QStringLiteral("測試 more");
    QTest::newRow("Big5 word with a Hong Kong character")
        << QByteArray("=?big5?B?qfqk0aRVpMikVMJJtn23fKFBvdC3x67JpViudaFDne8=?=") << none
        << QStringLiteral("明天下午三點開會，請準時出席。嘅");
    QTest::newRow("GB2312 word read as GBK") << QByteArray("=?GB2312?B?1tDOxA==?=") << none << QStringLiteral("中文");
    QTest::newRow("Q word with underscores, Latin-1")
        << QByteArray("=?ISO-8859-1?Q?Caf=E9_cr=E8me?=") << none << QStringLiteral("Café crème");
    QTest::newRow("Windows-1252 quotes") << QByteArray("=?windows-1252?Q?=93hi=94?=") << none
                                         << QStringLiteral("\u201chi\u201d");
    QTest::newRow("unknown encoding kept")
        << QByteArray("=?UTF-8?X?abc?= x") << none << QStringLiteral("=?UTF-8?X?abc?= x");
    QTest::newRow("unterminated word kept") << QByteArray("=?UTF-8?B?5a2j") << none << QStringLiteral("=?UTF-8?B?5a2j");
    QTest::newRow("raw Big5 under the message charset")
        << QByteArray::fromHex("b77cc4b3b371aabe") << QByteArray("Content-Type: text/plain; charset=big5\r\n\r\n")
        << QStringLiteral("會議通知");
    QTest::newRow("raw UTF-8 beside a word")
        << QByteArray("\xe4\xb8\xad =?UTF-8?B?5paH?=") << none << QStringLiteral("中 文");
    QTest::newRow("controls dropped") << QByteArray("=?UTF-8?Q?a=07b=0D=0Ac?=") << none << QStringLiteral("ab c");
    QTest::newRow("empty") << QByteArray() << none << QString();
    // Plain ASCII skips the decoder: it must read as the decoder would have read it.
    QTest::newRow("ASCII folded, blanks kept")
        << QByteArray("  Re:  a\tb\r\n\t c  ") << none << QStringLiteral("Re:  a b  c");
    // a, 0x01, b, 0x7f, c, NUL, d
    const QByteArray controls = QByteArray::fromHex("610162") + "\x7f" + QByteArray::fromHex("630064");
    QTest::newRow("ASCII controls and NUL dropped") << controls << none << QStringLiteral("abcd");
    QTest::newRow("ASCII quotes, backslashes, lone = and ?")
        << QByteArray(R"("x\" y" (c) = ? ?= =)") << none << QStringLiteral(R"("x\" y" (c) = ? ?= =)");
    QTest::newRow("ASCII under a UTF-7 message charset")
        << QByteArray("a+AGE-b") << QByteArray("Content-Type: text/plain; charset=utf-7\r\n\r\n")
        << QStringLiteral("a+AGE-b");
}

void tst_MimeMessage::headerText()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, message);
    QFETCH(QString, text);
    QCOMPARE(TMimeMessage::HeaderText(value, message), text);
}

void tst_MimeMessage::headerValue()
{
    const QByteArray message = "X-Subject: no\r\nsubject: first\r\n\tsecond\r\nFrom: a\r\nSubject: again\r\n\r\n"
                               "Subject: body\r\n";
    QCOMPARE(TMimeMessage::HeaderValue(message, "Subject"), QByteArray("first\r\n\tsecond"));
    QCOMPARE(TMimeMessage::HeaderValue(message, "FROM"), QByteArray("a"));
    QVERIFY(TMimeMessage::HeaderValue(message, "To").isEmpty());
    QVERIFY(TMimeMessage::HeaderValue("Subject: x", "Subject") == "x");

    // Against a reading that copies every line, on short texts of the bytes that matter.
    const auto byLines = [](const QByteArray& text, const QByteArray& wanted) {
        QByteArray value;
        bool collecting = false;
        for (QByteArray line : text.split('\n')) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (line.isEmpty()) {
                break;
            }
            if (line.startsWith(' ') || line.startsWith('\t')) {
                if (collecting) {
                    value += "\r\n" + line;
                }
            } else if (collecting) {
                break;
            } else if (line.indexOf(':') == wanted.size() && line.left(wanted.size()).toLower() == wanted.toLower()) {
                collecting = true;
                value = line.mid(wanted.size() + 1);
            }
        }
        return value.trimmed();
    };
    const QByteArray alphabet("\r\n\t :sSX\v");
    TRandomText random(99);
    for (int round = 0; round < 100000; ++round) {
        const QByteArray text = random.Next(alphabet, 19);
        const QByteArray wanted = random.Below(2) ? "s" : "SX";
        if (TMimeMessage::HeaderValue(text, wanted) != byLines(text, wanted)) {
            QFAIL(qPrintable(
                QStringLiteral("%1 in %2").arg(QString::fromLatin1(wanted), QString::fromLatin1(text.toHex()))));
        }
    }
}

void tst_MimeMessage::pop3ReplyIsUnstuffed()
{
    const QByteArray reply = "+OK 99 octets\r\nFrom: a@t\r\nSubject: s\r\n\r\n..leading dot\r\n.\r\nnot here\r\n";
    const TMimeMessage message(reply, TMimeMessage::Source::Pop3Reply);
    QCOMPARE(message.From(), QStringLiteral("a@t"));
    QCOMPARE(message.Body(), QStringLiteral(".leading dot\n"));
}

void tst_MimeMessage::headerBlockHidden()
{
    const TMimeMessage message(TMailCorpus::Messages(false).at(1).Bytes);
    const QString text = message.Text(false);
    QVERIFY(text.startsWith(QStringLiteral("各位同事好")));
    QVERIFY(!text.contains(QStringLiteral("寄件者")));
}

void tst_MimeMessage::hostileStructure_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("bodyHas");

    QByteArray deep = "Subject: deep\r\n";
    for (int i = 0; i < 20000; ++i) {
        deep += "Content-Type: multipart/mixed; boundary=\"b" + QByteArray::number(i) + "\"\r\n\r\n--b" +
                QByteArray::number(i) + "\r\n";
    }
    deep += "Content-Type: text/plain\r\n\r\ninnermost\r\n";
    QTest::newRow("20000 nested multiparts") << deep << QStringLiteral("innermost");

    QByteArray many = "Subject: many\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n";
    for (int i = 0; i < 100000; ++i) {
        many += "--x\r\n\r\np\r\n";
    }
    QTest::newRow("100000 parts") << many << QStringLiteral("p");

    QByteArray tags = "Content-Type: text/html\r\n\r\n";
    tags += QByteArray(2 * 1024 * 1024, '<').replace("<<", "<a");
    QTest::newRow("2 MB of unclosed tags") << tags << QString();

    QByteArray entities = "Content-Type: text/html\r\n\r\nvisible";
    entities += QByteArray(1024 * 1024, '&');
    QTest::newRow("1 MB of ampersands") << entities << QStringLiteral("visible&&&");

    QTest::newRow("no header block at all") << QByteArray("\x01\x02just bytes\xff") << QStringLiteral("just bytes");
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_MimeMessage::hostileStructure()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, bodyHas);
    QElapsedTimer timer;
    timer.start();
    const TMimeMessage message(bytes);
    const QString text = message.Text(true);
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(text.contains(bodyHas));
    for (const QChar c : text) {
        QVERIFY(c.unicode() >= 0x20 || c == QLatin1Char('\n') || c == QLatin1Char('\t'));
    }
}

void tst_MimeMessage::attachmentNames_data()
{
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QString>("saved");

    // Every leading dot goes, so that no name saves as a hidden file, and every folder part.
    QTest::newRow("two dots") << QByteArray("filename=\"..bashrc\"") << QStringLiteral("bashrc");
    QTest::newRow("four dots") << QByteArray("filename=\"....x\"") << QStringLiteral("x");
    QTest::newRow("one dot") << QByteArray("filename=.profile") << QStringLiteral("profile");
    QTest::newRow("dots after a folder") << QByteArray("filename=\"../..\\\\..ssh\"") << QStringLiteral("ssh");
    QTest::newRow("RFC 2231") << QByteArray("filename*=UTF-8''%2E%2E%E5%AD%A3.pdf") << QStringLiteral("季.pdf");
    QTest::newRow("dots only") << QByteArray("filename=\"...\"") << QStringLiteral("附件1");
    QTest::newRow("inner dots kept") << QByteArray("filename=a..b.") << QStringLiteral("a..b.");
}

void tst_MimeMessage::attachmentNames()
{
    QFETCH(QByteArray, disposition);
    QFETCH(QString, saved);
    const TMimeMessage message("Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                               "Content-Type: text/plain\r\n\r\nbody\r\n--b\r\n"
                               "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; " +
                               disposition + "\r\n\r\ndata\r\n--b--\r\n");
    QCOMPARE(message.Attachments().size(), 1);
    QCOMPARE(message.Attachments().first().FileName, saved);
}

QTEST_GUILESS_MAIN(tst_MimeMessage)
#include "tst_MimeMessage.moc"
