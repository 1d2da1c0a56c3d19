// The readable view of a 64 KB multipart message and of a 10 MB message with attachments:
// median time of several runs, and the peak memory one rendering adds, against the
// message's size. Exits non-zero when a figure is over its bound.
#include "mailbox/TMimeMessage.h"
#include "testsupport/TMailCorpus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <malloc.h>

namespace {

qint64 statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

// Sets the high-water mark back to the present resident size (Linux 4.0 and later).
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

double medianMs(const QByteArray& reply, int runs)
{
    QList<qint64> times;
    qsizetype shown = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const TMimeMessage message(reply, TMimeMessage::Source::Pop3Reply);
        shown += message.Text(true).size();
        times << t.nsecsElapsed();
    }
    std::sort(times.begin(), times.end());
    return shown > 0 ? times[times.size() / 2] / 1e6 : -1;
}

QByteArray multipart64k()
{
    QByteArray text;
    QByteArray html = "<html><body>";
    const QByteArray line = "=E5=90=84=E4=BD=8D=E5=90=8C=E4=BA=8B=E5=A5=BD Quarterly figures follow. =\r\n";
    while (text.size() < 24 * 1024) {
        text += line;
        html += "<p>=E5=90=84=E4=BD=8D <b>Quarterly</b> figures &amp; notes.</p>=\r\n";
    }
    html += "</body></html>";
    const QByteArray attachment = TMailCorpus::Noise(10 * 1024, 3).toBase64();
    QByteArray lines;
    for (qsizetype i = 0; i < attachment.size(); i += 76) {
        lines += attachment.mid(i, 76) + "\r\n";
    }
    return "From: =?UTF-8?B?5p2O5bCP6b6N?= <lee@example.test>\r\nSubject: =?UTF-8?B?5a2j5bqm5aCx5ZGK?=\r\n"
           "Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\n"
           "Content-Type: multipart/alternative; boundary=a\r\n\r\n--a\r\n"
           "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
           text +
           "\r\n--a\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           html +
           "\r\n--a--\r\n--m\r\nContent-Type: application/octet-stream; name=a.bin\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           lines + "--m--\r\n";
}

} // namespace

int main()
{
    bool ok = true;
    // A fixed threshold keeps large blocks mapped and returned on free, so that memory an
    // earlier step freed cannot hide the rendering's own peak.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const QByteArray small = TMailCorpus::RetrReply(multipart64k());
    const double smallMs = medianMs(small, 51);
    std::printf("multipart %lld KB: %.2f ms (bound 20 ms)\n", static_cast<long long>(small.size() / 1024), smallMs);
    ok = ok && smallMs >= 0 && smallMs < 20;

    QByteArray big = TMailCorpus::WithAttachment("<b@t>", TMailCorpus::Noise(7 * 1024 * 1024, 9));
    // A second attachment, so that the message holds more than one.
    big.insert(big.lastIndexOf("--==big==--"), "--==big==\r\nContent-Type: application/zip; name=b.zip\r\n"
                                               "Content-Transfer-Encoding: base64\r\n\r\n" +
                                                   TMailCorpus::Noise(400 * 1024, 11).toBase64() + "\r\n");
    const QByteArray reply = TMailCorpus::RetrReply(big);
    big.clear();

    // Measured first: freed blocks that the allocator keeps would hide a later peak.
    const bool peakKnown = resetPeak();
    const qint64 before = statusKb("VmRSS:");
    qsizetype attachments = 0;
    qsizetype shown = 0;
    {
        const TMimeMessage message(reply, TMimeMessage::Source::Pop3Reply);
        attachments = message.Attachments().size();
        shown = message.Text(true).size();
    }
    const qint64 peak = statusKb("VmHWM:") - before;
    const double ratio = peak * 1024.0 / double(reply.size());
    const double bigMs = medianMs(reply, 7);
    std::printf("message %.1f MB, %lld attachments: %.2f ms (bound 300 ms); peak memory added %.1f MB = %.2fx size "
                "(bound 5x)%s\n",
                reply.size() / 1048576.0, static_cast<long long>(attachments), bigMs, peak / 1024.0, ratio,
                peakKnown ? "" : " [peak not resettable: includes earlier runs]");
    ok = ok && bigMs >= 0 && bigMs < 300 && ratio < 5 && attachments == 2 && shown > 0;
    return ok ? 0 : 1;
}
