#include "testsupport/TMailCorpus.h"

namespace {

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76) {
        out += encoded.mid(i, 76);
        out += "\r\n";
    }
    return out;
}

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Big5-HKSCS bytes of 會議通知, 陳大文 and of a sentence ending in a Hong Kong character.
const QByteArray kBig5Meeting = QByteArray::fromHex("b77cc4b3b371aabe");
const QByteArray kBig5Sentence =
    QByteArray::fromHex("a9faa4d1a455a4c8a454c249b67db77ca141bdd0b7c7aec9a558ae75a1439def");

} // namespace

QByteArray TMailCorpus::RetrReply(const QByteArray& message)
{
    QByteArray stuffed = message;
    if (stuffed.startsWith('.')) {
        stuffed.prepend('.');
    }
    stuffed.replace("\n.", "\n..");
    if (!stuffed.endsWith("\r\n")) {
        stuffed += "\r\n";
    }
    return "+OK " + QByteArray::number(message.size()) + " octets\r\n" + stuffed + ".\r\n";
}

QByteArray TMailCorpus::Noise(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = seed | 1u;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x & 0xff);
    }
    return data;
}

QByteArray TMailCorpus::WithAttachment(const QByteArray& id, const QByteArray& data)
{
    return crlf("Message-ID: " + id +
                "\nFrom: =?Big5?B?s6+kaqTl?= <chen@example.test>\nSubject: =?Big5?B?qv6l87uhqfo=?=\n"
                "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"==big==\"\n\n"
                "--==big==\nContent-Type: text/plain; charset=big5\nContent-Transfer-Encoding: 8bit\n\n") +
           kBig5Sentence +
           crlf("\n--==big==\nContent-Type: application/octet-stream; name=\"data.bin\"\n"
                "Content-Disposition: attachment; filename=\"data.bin\"\nContent-Transfer-Encoding: base64\n\n") +
           base64Lines(data) + crlf("--==big==--\n");
}

QList<TCorpusMail> TMailCorpus::Messages(bool withLarge)
{
    QList<TCorpusMail> list;

    TCorpusMail big5;
    big5.Name = "big5-alternative";
    big5.Bytes = crlf("Message-ID: <big5@corpus.test>\n"
                      "From: =?Big5?B?s6+kaqTl?= <chen@example.test>\nTo: team@example.test\n"
                      "Date: Mon, 7 Dec 2026 09:30:00 +0800\nSubject: =?Big5?B?t3zEs7Nxqr4=?=\n"
                      "MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"alt-1\"\n\n"
                      "This is a multi-part message in MIME format.\n\n--alt-1\n"
                      "Content-Type: text/plain; charset=\"big5\"\nContent-Transfer-Encoding: 8bit\n\n") +
                 kBig5Sentence +
                 crlf("\n\n--alt-1\nContent-Type: text/html; charset=\"big5\"\n"
                      "Content-Transfer-Encoding: quoted-printable\n\n"
                      "<html><body><p>HTML-ONLY-TEXT</p></body></html>\n--alt-1--\n");
    big5.From = u("陳大文 <chen@example.test>");
    big5.Subject = u("會議通知");
    big5.BodyHas = QStringList{u("明天下午三點開會，請準時出席。嘅")};
    big5.BodyLacks = QStringList{u("HTML-ONLY-TEXT"), u("--alt-1"), u("Content-Type")};
    list.append(big5);

    TCorpusMail utf8;
    utf8.Name = "utf8-base64";
    utf8.Bytes =
        crlf("Message-ID: <utf8@corpus.test>\nFrom: \"=?UTF-8?B?5p2O5bCP6b6N?=\" <lee@example.test>\n"
             "To: =?UTF-8?Q?=E7=8E=8B?= <wang@example.test>\nSubject: =?UTF-8?B?5a2j5bqm5aCx5ZGKIOesrOS6jOWtow==?=\n"
             "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n"
             "5ZCE5L2N5ZCM5LqL5aW977ya6ZmE5LiK5pys5a2j5aCx5ZGK44CC\n");
    utf8.From = u("李小龍 <lee@example.test>");
    utf8.Subject = u("季度報告 第二季");
    utf8.BodyHas = QStringList{u("各位同事好：附上本季報告。"), u("收件者: 王 <wang@example.test>")};
    utf8.BodyLacks = QStringList{u("5ZCE5L2N")};
    list.append(utf8);

    TCorpusMail jis;
    jis.Name = "iso-2022-jp";
    jis.Bytes = crlf("Message-ID: <jis@corpus.test>\nFrom: tanaka@example.test\n"
                     "Subject: =?ISO-2022-JP?B?GyRCMnE1RCRON28bKEI=?=\nMIME-Version: 1.0\n"
                     "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: 7bit\n\n"
                     "\x1b$BL@F|$N2q5D$O8a8e$G$9!#\x1b(B\n");
    jis.From = u("tanaka@example.test");
    jis.Subject = u("会議の件");
    jis.BodyHas = QStringList{u("明日の会議は午後です。")};
    jis.BodyLacks = QStringList{u("$B")};
    list.append(jis);

    TCorpusMail html;
    html.Name = "html-only";
    html.Bytes = crlf("Message-ID: <html@corpus.test>\nFrom: news@example.test\n"
                      "Subject: =?UTF-8?Q?=E6=B8=AC?=\n =?UTF-8?Q?=E8=A9=A6?= mail\nMIME-Version: 1.0\n"
                      "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
                      "<html><head><title>T-TITLE</title><style>p { color: red; }</style></head>\n"
                      "<body><p>=E6=82=A8=E5=A5=BD&nbsp;=E4=B8=96=E7=95=8C</p><script>var x =3D 1;</script>\n"
                      "<p>Tom &amp; Jerry &lt;3&#x4E2D;&#25991;</p><ul><li>one</li><li>two</li></ul></body></html>\n");
    html.From = u("news@example.test");
    html.Subject = u("測試 mail");
    html.BodyHas = QStringList{u("您好 世界"), u("Tom & Jerry <3中文"), u("• one\n• two")};
    html.BodyLacks = QStringList{u("<p>"), u("T-TITLE"), u("color: red"), u("var x"), u("=E6")};
    list.append(html);

    TCorpusMail nested;
    nested.Name = "nested-rfc2231";
    const QByteArray pdf = "%PDF-1.4\n" + Noise(3000, 7) + "\n%%EOF\n";
    nested.Bytes = crlf("Message-ID: <nested@corpus.test>\nFrom: =?UTF-8?B?5p2O5bCP6b6N?= <lee@example.test>\n"
                        "Subject: =?UTF-8?B?6KuL6KaL6ZmE5Lu2?=\nMIME-Version: 1.0\n"
                        "Content-Type: multipart/mixed; boundary=\"outer\"\n\n--outer\n"
                        "Content-Type: multipart/alternative; boundary=\"inner\"\n\n--inner\n"
                        "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
                        "=E8=AB=8B=E8=A6=8B=E9=99=84=E4=BB=B6=E3=80=82\n--inner\n"
                        "Content-Type: text/html; charset=utf-8\n\n<p>HTML-ALT</p>\n--inner--\n\n--outer\n"
                        "Content-Type: application/pdf\nContent-Disposition: attachment;\n"
                        " filename*0*=UTF-8''%E5%AD%A3%E5%BA%A6;\n filename*1*=%E5%A0%B1%E5%91%8A.pdf\n"
                        "Content-Transfer-Encoding: base64\n\n") +
                   base64Lines(pdf) + crlf("--outer--\n");
    nested.From = u("李小龍 <lee@example.test>");
    nested.Subject = u("請見附件");
    nested.BodyHas = QStringList{u("請見附件。"), u("季度報告.pdf (application/pdf, ") + QString::number(pdf.size())};
    nested.BodyLacks = QStringList{u("HTML-ALT"), u("JVBERi0")};
    nested.Attachments = {{u("季度報告.pdf"), u("application/pdf"), pdf}};
    list.append(nested);

    TCorpusMail cut;
    cut.Name = "missing-end-boundary";
    const QByteArray notes = "line one\r\nline two\r\n";
    cut.Bytes =
        crlf("Message-ID: <cut@corpus.test>\nFrom: a@example.test\nSubject: Truncated\nMIME-Version: 1.0\n"
             "Content-Type: multipart/mixed; boundary=\"b1\"\n\n--b1\nContent-Type: text/plain; charset=utf-8\n\n"
             "Body before the cut.\n--b1\nContent-Type: text/plain; name=notes.txt\n"
             "Content-Disposition: attachment; filename=notes.txt\n\n") +
        notes;
    cut.From = u("a@example.test");
    cut.Subject = u("Truncated");
    cut.BodyHas = QStringList{u("Body before the cut."), u("notes.txt")};
    cut.BodyLacks = QStringList{u("--b1")};
    cut.Attachments = {{u("notes.txt"), u("text/plain"), notes}};
    list.append(cut);

    TCorpusMail wrong;
    wrong.Name = "wrong-charset";
    wrong.Bytes =
        crlf("Message-ID: <wrong@corpus.test>\nFrom: b@example.test\nSubject: Wrong label\nMIME-Version: 1.0\n"
             "Content-Type: multipart/mixed; boundary=\"w\"\n\n--w\n"
             "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n") +
        kBig5Sentence +
        crlf("\n--w\nContent-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 8bit\n\n"
             "caf\xc3\xa9 \xe4\xb8\xad\n--w--\n");
    wrong.From = u("b@example.test");
    wrong.Subject = u("Wrong label");
    wrong.BodyHas = QStringList{u("明天下午三點開會，請準時出席。嘅"), u("café 中")};
    wrong.BodyLacks = QStringList{QString(QChar::ReplacementCharacter)};
    list.append(wrong);

    TCorpusMail raw;
    raw.Name = "8bit-headers";
    raw.Bytes = crlf("Message-ID: <raw@corpus.test>\nFrom: \xe5\xbc\xb5\xe4\xb8\x89 <zhang@example.test>\nSubject: ") +
                kBig5Meeting + crlf(" =?Big5?X?abc?=\nMIME-Version: 1.0\nContent-Type: text/plain; charset=big5\n\n") +
                kBig5Sentence + "\r\n";
    raw.From = u("張三 <zhang@example.test>");
    // A malformed encoded word is shown as it stands.
    raw.Subject = u("會議通知 =?Big5?X?abc?=");
    raw.BodyHas = QStringList{u("明天下午三點開會，請準時出席。嘅")};
    list.append(raw);

    if (withLarge) {
        TCorpusMail large;
        large.Name = "10mb-attachment";
        const QByteArray data = Noise(10 * 1024 * 1024, 42);
        large.Bytes = WithAttachment("<large@corpus.test>", data);
        large.From = u("陳大文 <chen@example.test>");
        large.Subject = u("附件說明");
        large.BodyHas = QStringList{u("明天下午三點開會，請準時出席。嘅"), u("data.bin")};
        large.Attachments = {{u("data.bin"), u("application/octet-stream"), data}};
        list.append(large);
    }
    return list;
}
