#include "mailbox/THeaderExtract.h"

#include "mailbox/TSeenIds.h"

#include <QCryptographicHash>

#include <cstring>

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

namespace {

// The first "\r\n" at or after from and before end (its CR's position), or end.
qsizetype lineBreak(const char* text, qsizetype from, qsizetype end)
{
    for (qsizetype at = from; at + 1 < end;) {
        const auto* lf = static_cast<const char*>(std::memchr(text + at + 1, '\n', size_t(end - at - 1)));
        if (!lf) {
            return end;
        }
        const qsizetype next = lf - text;
        if (text[next - 1] == '\r') {
            return next - 1;
        }
        at = next;
    }
    return end;
}

} // namespace

QByteArray THeaderExtract::Value(const QByteArray& reply, const QByteArray& upperName)
{
    const char* text = reply.constData();
    const qsizetype size = reply.size();
    // Only the header block counts: a body line such as "Subject: ..." is the sender's text.
    qsizetype limit = size;
    for (qsizetype at = lineBreak(text, 0, size); at < size; at = lineBreak(text, at + 1, size)) {
        if (at + 3 < size && text[at + 2] == '\r' && text[at + 3] == '\n') {
            limit = at;
            break;
        }
    }
    const qsizetype nameSize = upperName.size();
    // "\r\n" + name + ": " upper-cased as UpperAscii does it, without copying the header.
    const auto matchesAt = [&](qsizetype at) {
        if (at + 2 + nameSize + 2 > limit) {
            return false;
        }
        for (qsizetype i = 0; i < nameSize; ++i) {
            char c = text[at + 2 + i];
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
            if (c != upperName.at(i)) {
                return false;
            }
        }
        return text[at + 2 + nameSize] == ':' && text[at + 3 + nameSize] == ' ';
    };
    qsizetype at = lineBreak(text, 0, limit);
    while (at < limit && !matchesAt(at)) {
        at = lineBreak(text, at + 1, limit);
    }
    if (at >= limit) {
        return {};
    }
    qsizetype start = at + 2 + nameSize + 2;
    while (start < limit && text[start] == ' ') {
        ++start;
    }
    return reply.mid(start, lineBreak(text, start, limit) - start);
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
