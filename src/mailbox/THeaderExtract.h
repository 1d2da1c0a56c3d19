#pragma once

#include <QByteArray>
#include <QString>

// Header values of a TOP reply, found by their line patterns: the header name,
// a colon and one space at the start of a line (first occurrence; value case kept;
// continuation lines not joined).
class THeaderExtract {
public:
    // name in upper case, e.g. "MESSAGE-ID"; empty when the header is absent.
    static QByteArray Value(const QByteArray& reply, const QByteArray& upperName);

    // The identifier of a listed message: its Message-ID, or for a message without
    // one a stable stand-in made from Date, From, Subject and size (never empty, so
    // the stored list is not cut short). Over-long IDs are replaced by their hash.
    static QByteArray MessageId(const QByteArray& reply, const QByteArray& size);

    // ASCII upper-casing (a to z only), as the filters and the decoder tests use it.
    static QByteArray UpperAscii(const QByteArray& text);
    static QString UpperAscii(const QString& text);
};
