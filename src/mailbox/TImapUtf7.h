#pragma once

#include <QByteArray>
#include <QString>

// IMAP's modified UTF-7 for folder names: printable ASCII stays as it is ("&" as "&-"),
// everything else goes as UTF-16 in a Base64 with "," for "/", between "&" and "-".
class TImapUtf7 {
public:
    // The wire form of a folder name; empty and ok false for text that is not Unicode
    // (an unpaired surrogate), which no server could give back as it was.
    static QByteArray Encode(const QString& name, bool* ok = nullptr);
    // The folder name of a wire form. Anything but the one canonical spelling is refused
    // with a reason: bytes outside printable ASCII, a shift not closed by "-", bad Base64,
    // stray bits, an odd byte count, unpaired surrogates, printable ASCII inside a shift,
    // and two shifts back to back.
    static bool Decode(const QByteArray& wire, QString& name, QString* error = nullptr);
};
