#include "mailbox/THeaderExtract.h"

#include "mailbox/TSeenIds.h"

#include <QCryptographicHash>

QByteArray THeaderExtract::UpperAscii(const QByteArray& text)
{
    QByteArray out = text;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

QString THeaderExtract::UpperAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() >= 'a' && c.unicode() <= 'z') {
            c = QChar(c.unicode() - 'a' + 'A');
        }
    }
    return out;
}

QByteArray THeaderExtract::Value(const QByteArray& reply, const QByteArray& upperName)
{
    // Only the header block counts: a body line such as "Subject: ..." is the sender's text.
    const int blank = reply.indexOf("\r\n\r\n");
    const QByteArray headers = blank < 0 ? reply : reply.left(blank);
    const QByteArray pattern = "\r\n" + upperName + ": ";
    const int at = UpperAscii(headers).indexOf(pattern);
    if (at < 0) {
        return {};
    }
    int start = at + pattern.size();
    while (start < headers.size() && headers[start] == ' ') {
        ++start;
    }
    int end = headers.indexOf("\r\n", start);
    if (end < 0) {
        end = headers.size();
    }
    return headers.mid(start, end - start);
}

bool THeaderExtract::NeedsSize(const QByteArray& reply)
{
    const QByteArray raw = Value(reply, "MESSAGE-ID").trimmed();
    return raw.size() <= 900 && TSeenIds::Storable(raw).isEmpty();
}

QByteArray THeaderExtract::MessageId(const QByteArray& reply, const QByteArray& size)
{
    const QByteArray raw = Value(reply, "MESSAGE-ID").trimmed();
    if (raw.size() > 900) {
        return "<long-id:" + QCryptographicHash::hash(raw, QCryptographicHash::Sha1).toHex() + ">";
    }
    // Stored as it will read back from the settings file, or it would be new at every check.
    const QByteArray id = TSeenIds::Storable(raw);
    if (!id.isEmpty()) {
        return id;
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const char* name : {"DATE", "FROM", "SUBJECT"}) {
        hash.addData(Value(reply, name));
        hash.addData(QByteArray(1, '\n'));
    }
    hash.addData(size.trimmed());
    return "<no-id:" + hash.result().toHex().left(20) + ">";
}
