#include "mailbox/TImapUtf7.h"

#include <QList>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

bool direct(char16_t c)
{
    return c >= 0x20 && c <= 0x7e;
}

int sextet(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    return c == ',' ? 63 : -1;
}

void appendShifted(QByteArray& out, const QList<char16_t>& units)
{
    out += '&';
    quint32 bits = 0;
    int count = 0;
    for (const char16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 0x3f];
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0) {
        out += kAlphabet[(bits << (6 - count)) & 0x3f];
    }
    out += '-';
}

bool fail(QString* error, const QString& why)
{
    if (error) {
        *error = why;
    }
    return false;
}

} // namespace

QByteArray TImapUtf7::Encode(const QString& name, bool* ok)
{
    if (ok) {
        *ok = false;
    }
    QByteArray out;
    QList<char16_t> pending;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= name.size() || !QChar::isLowSurrogate(name.at(i + 1).unicode())) {
                return {};
            }
        } else if (QChar::isLowSurrogate(c) && (i == 0 || !QChar::isHighSurrogate(name.at(i - 1).unicode()))) {
            return {};
        }
        if (direct(c)) {
            if (!pending.isEmpty()) {
                appendShifted(out, pending);
                pending.clear();
            }
            out += c == u'&' ? QByteArray("&-") : QByteArray(1, char(c));
        } else {
            pending.append(c);
        }
    }
    if (!pending.isEmpty()) {
        appendShifted(out, pending);
    }
    if (ok) {
        *ok = true;
    }
    return out;
}

bool TImapUtf7::Decode(const QByteArray& wire, QString& name, QString* error)
{
    name.clear();
    QString out;
    bool justShifted = false;
    for (qsizetype i = 0; i < wire.size();) {
        const char c = wire.at(i);
        if (!direct(static_cast<unsigned char>(c))) {
            return fail(error, QStringLiteral("byte 0x%1 at %2 is not printable ASCII")
                                   .arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'))
                                   .arg(i));
        }
        if (c != '&') {
            out += QLatin1Char(c);
            justShifted = false;
            ++i;
            continue;
        }
        if (i + 1 < wire.size() && wire.at(i + 1) == '-') {
            out += QLatin1Char('&');
            justShifted = false;
            i += 2;
            continue;
        }
        // One shift must hold all the characters in a row; "-&" starting another is not allowed.
        if (justShifted) {
            return fail(error, QStringLiteral("two shifts back to back at %1").arg(i));
        }
        const qsizetype start = i + 1;
        const qsizetype end = wire.indexOf('-', start);
        if (end < 0) {
            return fail(error, QStringLiteral("shift at %1 is not closed by \"-\"").arg(i));
        }
        quint32 bits = 0;
        int count = 0;
        QString units;
        for (qsizetype j = start; j < end; ++j) {
            const int value = sextet(wire.at(j));
            if (value < 0) {
                return fail(error,
                            QStringLiteral("\"%1\" at %2 is not modified Base64").arg(QLatin1Char(wire.at(j))).arg(j));
            }
            bits = (bits << 6) | quint32(value);
            count += 6;
            if (count >= 16) {
                count -= 16;
                units += QChar(char16_t((bits >> count) & 0xffff));
                bits &= (1u << count) - 1;
            }
        }
        // Only the padding of the last sextet may remain, and it must be zero.
        if (count >= 6 || bits != 0) {
            return fail(error, QStringLiteral("shift at %1 does not end on a whole UTF-16 unit").arg(i));
        }
        for (qsizetype k = 0; k < units.size(); ++k) {
            const char16_t u = units.at(k).unicode();
            if (direct(u)) {
                return fail(error, QStringLiteral("printable ASCII inside the shift at %1").arg(i));
            }
            if (QChar::isHighSurrogate(u)) {
                if (k + 1 >= units.size() || !QChar::isLowSurrogate(units.at(k + 1).unicode())) {
                    return fail(error, QStringLiteral("unpaired surrogate in the shift at %1").arg(i));
                }
                ++k;
            } else if (QChar::isLowSurrogate(u)) {
                return fail(error, QStringLiteral("unpaired surrogate in the shift at %1").arg(i));
            }
        }
        out += units;
        justShifted = true;
        i = end + 1;
    }
    name = out;
    return true;
}
