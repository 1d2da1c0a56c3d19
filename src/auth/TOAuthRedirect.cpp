#include "auth/TOAuthRedirect.h"

#include <QList>

namespace {

// Form encoding: "+" is a blank, then percent escapes.
QByteArray formDecoded(QByteArray value)
{
    value.replace('+', ' ');
    return QByteArray::fromPercentEncoding(value);
}

} // namespace

TOAuthRedirect TOAuthRedirect::Parse(const QByteArray& received)
{
    TOAuthRedirect r;
    const qsizetype lineEnd = received.indexOf('\n');
    if (lineEnd < 0) {
        r.Type = received.size() > MaxRequest ? Kind::TooLarge : Kind::Incomplete;
        return r;
    }
    // Refuse a wrong request as soon as its first line is there.
    const QList<QByteArray> parts = received.left(lineEnd).trimmed().split(' ');
    if (parts.size() != 3 || !parts.at(2).startsWith("HTTP/1.") || !parts.at(1).startsWith('/')) {
        r.Type = Kind::Malformed;
        return r;
    }
    if (parts.at(0) != "GET") {
        r.Type = Kind::WrongMethod;
        return r;
    }
    const QByteArray& target = parts.at(1);
    const qsizetype question = target.indexOf('?');
    if (target.left(question < 0 ? target.size() : question) != "/") {
        r.Type = Kind::WrongPath;
        return r;
    }
    const bool headEnded = received.contains("\r\n\r\n") || received.contains("\n\n");
    if (!headEnded) {
        r.Type = received.size() > MaxRequest ? Kind::TooLarge : Kind::Incomplete;
        return r;
    }
    // The head's end may arrive past the limit only with a body nobody asked for.
    const qsizetype headSize = received.contains("\r\n\r\n") ? received.indexOf("\r\n\r\n") : received.indexOf("\n\n");
    if (headSize > MaxRequest) {
        r.Type = Kind::TooLarge;
        return r;
    }
    bool hasCode = false;
    const QByteArray query = question < 0 ? QByteArray() : target.mid(question + 1);
    for (const QByteArray& item : query.split('&')) {
        const qsizetype eq = item.indexOf('=');
        const QByteArray name = formDecoded(item.left(eq < 0 ? item.size() : eq));
        const QByteArray value = eq < 0 ? QByteArray() : formDecoded(item.mid(eq + 1));
        bool* seen = nullptr;
        QByteArray* into = nullptr;
        if (name == "code") {
            seen = &hasCode;
            into = &r.Code;
        } else if (name == "state") {
            seen = &r.HasState;
            into = &r.State;
        } else if (name == "error") {
            seen = &r.HasError;
            into = &r.Error;
        }
        if (!seen) {
            continue;
        }
        // A second value would leave open which one was meant.
        if (*seen) {
            r = TOAuthRedirect();
            r.Type = Kind::Malformed;
            return r;
        }
        *seen = true;
        *into = value;
    }
    r.Type = hasCode || r.HasError || r.HasState ? Kind::Redirect : Kind::NotARedirect;
    return r;
}
