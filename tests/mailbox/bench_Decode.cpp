// Decoding a 64 KB Base64 message and a 64 KB quoted-printable message; prints the
// median of several runs of each.
#include "mailbox/TMessageDecoder.h"

#include <QElapsedTimer>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

static double medianMs(const QString& kind, const QByteArray& message)
{
    QList<qint64> runs;
    qsizetype size = 0;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer t;
        t.start();
        size += TMessageDecoder::DecodeMessage(kind, message).size();
        runs << t.nsecsElapsed();
    }
    std::sort(runs.begin(), runs.end());
    return size > 0 ? runs[runs.size() / 2] / 1e6 : -1;
}

int main()
{
    QByteArray raw(48 * 1024, Qt::Uninitialized);
    for (char& c : raw) {
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    }
    const QByteArray header = "+OK\r\nSubject: x\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    QByteArray base64 = raw.toBase64();
    for (qsizetype at = 76; at < base64.size(); at += 78) {
        base64.insert(at, "\r\n");
    }
    const QByteArray b64Message = header + base64 + "\r\n.\r\n";

    QByteArray qp;
    const QByteArray text = "Caf\xE9 au lait, cr\xE8me br\xFBl\xE9" "e = tr\xE8s bon. ";
    while (qp.size() < 64 * 1024) {
        for (char c : text) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 128 || c == '=') {
                qp += '=' + QByteArray::number(u, 16).toUpper();
            } else {
                qp += c;
            }
        }
        qp += "=\r\n";
    }
    const QByteArray qpMessage =
        "+OK\r\nSubject: y\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + qp + "\r\n.\r\n";

    std::printf("Base64 %lld KB: %.2f ms\n", static_cast<long long>(b64Message.size() / 1024),
                medianMs(QStringLiteral("BASE64"), b64Message));
    std::printf("quoted-printable %lld KB: %.2f ms\n", static_cast<long long>(qpMessage.size() / 1024),
                medianMs(QStringLiteral("QP"), qpMessage));
    return 0;
}
