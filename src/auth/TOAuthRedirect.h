#pragma once

#include <QByteArray>

// One request that reached the loopback listener, read from the bytes received so far:
// only "GET /?code=...&state=..." (or error=...) is the provider's redirect.
struct TOAuthRedirect {
    enum class Kind {
        Incomplete,   // the request head has not fully arrived
        TooLarge,     // more than MaxRequest bytes without the head's end
        Malformed,    // not an HTTP request line, or a parameter given twice
        WrongMethod,  // anything but GET
        WrongPath,    // anything but "/"
        NotARedirect, // "/" without code, state or error
        Redirect
    };

    Kind Type = Kind::Incomplete;
    // Decoded parameters; Has* tells an empty value from a missing one.
    QByteArray Code;
    QByteArray State;
    QByteArray Error;
    bool HasState = false;
    bool HasError = false;

    static constexpr int MaxRequest = 8192;

    static TOAuthRedirect Parse(const QByteArray& received);
};
