#pragma once

#include <QByteArray>
#include <QSet>

// Reading the POP3 replies a session needs: the command kind, the STAT count, the
// LIST size, where a reply ends, and the bounds that keep a misbehaving server from
// exhausting memory.
class TPop3Reply {
public:
    // The most messages a listing accepts; a larger STAT count cannot be true.
    static constexpr int MaxMessages = 1000000;
    static constexpr int MaxLineReply = 64 * 1024;
    static constexpr int MaxTopReply = 4 * 1024 * 1024;

    // RETR or TOP, by the word before the first space, in any letter case.
    static bool IsMultiLine(const QByteArray& command);
    // The count of a STAT reply; false when it is not a number in 0 .. MaxMessages.
    static bool StatCount(const QByteArray& reply, int& count);
    // A single-line reply's text after its status word ("+OK 7 abc" gives "7 abc"), CR LF
    // kept; empty when nothing follows the word.
    static QByteArray Text(const QByteArray& reply);
    // The text after the second space of a LIST reply up to the first CR LF.
    static QByteArray ListSize(const QByteArray& reply);
    // Length of a complete reply at the start of buffer, or -1 when it is not complete:
    // a single line through its CR LF, a multi-line reply through CR LF "." CR LF.
    static int CompleteLength(const QByteArray& buffer, bool multiLine);
    // The most a RETR reply may collect for a message listed with that size.
    static qint64 RetrLimit(const QByteArray& listedSize);
    // True when an argument holds CR or LF, which would smuggle in a second command.
    static bool HasLineBreak(const QByteArray& argument);
    // The viewer's text with the headers hidden: after the first blank line through
    // the first terminating line after it (the whole text when it has no blank line).
    static QByteArray BodyOnly(const QByteArray& text);
    // The capability names of a CAPA reply ("STLS", "PIPELINING", "UIDL", ...), upper-cased,
    // without their arguments; empty for a refusal or a reply that is not multi-line.
    static QSet<QByteArray> Capabilities(const QByteArray& reply);
    // The mechanisms of a CAPA reply's SASL line, upper-cased; empty without one.
    static QSet<QByteArray> SaslMechanisms(const QByteArray& reply);
    // A refusal the server marks as passing ([SYS/TEMP], [IN-USE], [LOGIN-DELAY]): the
    // credentials were not judged.
    static bool TemporaryRefusal(const QByteArray& reply);
};
