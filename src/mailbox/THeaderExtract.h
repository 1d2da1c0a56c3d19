#pragma once

#include <QByteArray>
#include <QString>

// Header values of a TOP reply, found by their line patterns: the header name,
// a colon and one space at the start of a line of the header block (first occurrence;
// value case kept; continuation lines not joined; the body is never read).
class THeaderExtract {
public:
    // name in upper case, e.g. "MESSAGE-ID"; empty when the header is absent.
    static QByteArray Value(const QByteArray& reply, const QByteArray& upperName);

    // The identifier of a listed message: its Message-ID, or for a message without
    // one a stable stand-in made from Date, From, Subject and size (never empty, so
    // the stored list is not cut short). Over-long IDs are replaced by their hash; others
    // take the form that reads back unchanged from the settings file.
    static QByteArray MessageId(const QByteArray& reply, const QByteArray& size);
    // True when MessageId of this reply depends on the size (it has no usable Message-ID).
    static bool NeedsSize(const QByteArray& reply);

    // ASCII upper-casing (a to z only), as the filters and the decoder tests use it.
    static QByteArray UpperAscii(const QByteArray& text);
    static QString UpperAscii(const QString& text);
};
