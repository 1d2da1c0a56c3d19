#include "mailbox/TPop3Reply.h"

#include "core/TIntConvert.h"

#include <QString>

bool TPop3Reply::IsMultiLine(const QByteArray& command)
{
    const int space = command.indexOf(' ');
    const QByteArray word = (space < 0 ? command : command.left(space)).toUpper();
    return word == "RETR" || word == "TOP";
}

bool TPop3Reply::StatCount(const QByteArray& reply, int& count)
{
    const int first = reply.indexOf(' ');
    if (first < 0) {
        return false;
    }
    int end = first + 1;
    while (end < reply.size() && reply[end] != ' ' && reply[end] != '\r' && reply[end] != '\n') {
        ++end;
    }
    int value = 0;
    if (!TIntConvert::TryStrToInt(QString::fromLatin1(reply.mid(first + 1, end - first - 1)), value)) {
        return false;
    }
    if (value < 0 || value > MaxMessages) {
        return false;
    }
    count = value;
    return true;
}

QByteArray TPop3Reply::Text(const QByteArray& reply)
{
    const int space = reply.indexOf(' ');
    const int end = reply.indexOf("\r\n");
    if (space < 0 || (end >= 0 && space > end)) {
        return {};
    }
    return reply.mid(space + 1);
}

QByteArray TPop3Reply::ListSize(const QByteArray& reply)
{
    const int first = reply.indexOf(' ');
    const int second = first < 0 ? -1 : reply.indexOf(' ', first + 1);
    if (second < 0) {
        return {};
    }
    int end = reply.indexOf("\r\n", second + 1);
    if (end < 0) {
        end = reply.size();
    }
    return reply.mid(second + 1, end - second - 1);
}

int TPop3Reply::CompleteLength(const QByteArray& buffer, bool multiLine)
{
    if (!multiLine) {
        const int end = buffer.indexOf("\r\n");
        return end < 0 ? -1 : end + 2;
    }
    // The status line's own CR LF may start the terminator of an empty reply.
    const int end = buffer.indexOf("\r\n.\r\n");
    return end < 0 ? -1 : end + 5;
}

qint64 TPop3Reply::RetrLimit(const QByteArray& listedSize)
{
    int size = 0;
    if (!TIntConvert::TryStrToInt(QString::fromLatin1(listedSize), size) || size < 0) {
        size = 0;
    }
    return qMax<qint64>(qint64(size) * 2 + 64 * 1024, 1024 * 1024);
}

bool TPop3Reply::HasLineBreak(const QByteArray& argument)
{
    return argument.contains('\r') || argument.contains('\n');
}

QByteArray TPop3Reply::BodyOnly(const QByteArray& text)
{
    const int blank = text.indexOf("\r\n\r\n");
    if (blank < 0) {
        return text;
    }
    QByteArray body = text.mid(blank + 4);
    const int end = body.indexOf("\r\n.\r\n");
    if (end >= 0) {
        body.truncate(end + 5);
    }
    return body;
}

QSet<QByteArray> TPop3Reply::Capabilities(const QByteArray& reply)
{
    QSet<QByteArray> names;
    if (!reply.startsWith('+')) {
        return names;
    }
    const QList<QByteArray> lines = reply.split('\n');
    // The first line is the status line; the list ends at the terminating ".".
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line == ".") {
            break;
        }
        const QByteArray name = line.split(' ').constFirst().toUpper();
        if (!name.isEmpty()) {
            names.insert(name);
        }
    }
    return names;
}

QSet<QByteArray> TPop3Reply::SaslMechanisms(const QByteArray& reply)
{
    QSet<QByteArray> mechanisms;
    if (!reply.startsWith('+')) {
        return mechanisms;
    }
    const QList<QByteArray> lines = reply.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).simplified();
        if (line == ".") {
            break;
        }
        const QList<QByteArray> words = line.split(' ');
        if (words.constFirst().toUpper() != "SASL") {
            continue;
        }
        for (qsizetype w = 1; w < words.size(); ++w) {
            mechanisms.insert(words.at(w).toUpper());
        }
    }
    return mechanisms;
}

bool TPop3Reply::TemporaryRefusal(const QByteArray& reply)
{
    if (!reply.startsWith("-ERR [")) {
        return false;
    }
    const qsizetype end = reply.indexOf(']');
    const QByteArray code = end < 0 ? QByteArray() : reply.mid(6, end - 6).toUpper();
    return code.startsWith("SYS/TEMP") || code == "IN-USE" || code == "LOGIN-DELAY";
}
