#include "mailbox/THeaderExtract.h"

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
    const QByteArray pattern = "\r\n" + upperName + ": ";
    const int at = UpperAscii(reply).indexOf(pattern);
    if (at < 0) {
        return {};
    }
    int start = at + pattern.size();
    while (start < reply.size() && reply[start] == ' ') {
        ++start;
    }
    int end = reply.indexOf("\r\n", start);
    if (end < 0) {
        end = reply.size();
    }
    return reply.mid(start, end - start);
}

QByteArray THeaderExtract::MessageId(const QByteArray& reply, const QByteArray& size)
{
    // The settings file trims values and cuts them at 1023 characters: store only what
    // reads back the same, or the message would be new at every check.
    const QByteArray id = Value(reply, "MESSAGE-ID").trimmed();
    if (id.size() > 900) {
        return "<long-id:" + QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex() + ">";
    }
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
