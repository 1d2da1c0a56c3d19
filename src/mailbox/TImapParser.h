#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <deque>
#include <functional>

// One body section of a FETCH response, BODY[<section>]<origin>.
struct TImapBody {
    // Upper-cased with single blanks: "", "TEXT", "HEADER.FIELDS (DATE FROM)".
    QByteArray Section;
    // The <n> of a partial fetch, -1 without.
    qint64 Origin = -1;
    bool Nil = false;
    QByteArray Data;
};

// The items of a FETCH response a session reads; others are skipped.
struct TImapFetch {
    bool HasUid = false;
    quint32 Uid = 0;
    bool HasFlags = false;
    QList<QByteArray> Flags;
    bool HasSize = false;
    qint64 Size = 0;
    QList<TImapBody> Bodies;

    // The section named so, in any letter case and spacing; null when not sent.
    const TImapBody* Body(QByteArrayView section) const;
    bool HasFlag(QByteArrayView flag) const;
};

// One complete server response: tagged status, untagged data or status, or a
// continuation request.
struct TImapResponse {
    enum class TKind { Tagged, Untagged, Continuation };
    enum class TStatus { None, Ok, No, Bad, PreAuth, Bye };

    TKind Kind = TKind::Untagged;
    QByteArray Tag;
    // Of a tagged response and of the untagged OK, NO, BAD, PREAUTH and BYE.
    TStatus Status = TStatus::None;
    // Untagged: the upper-cased name ("OK", "CAPABILITY", "EXISTS", "FETCH", "SEARCH", ...).
    QByteArray Name;
    // The n of "* n EXISTS", "* n RECENT", "* n EXPUNGE", "* n FETCH".
    quint32 Number = 0;
    // The response code of a status response, its name upper-cased ("UIDVALIDITY") and
    // its arguments as sent ("1796816994").
    QByteArray Code;
    QByteArray CodeArgs;
    // A status response's text; a continuation's text (a SASL challenge).
    QByteArray Text;
    // CAPABILITY and [CAPABILITY ...] (upper-cased), ENABLED (upper-cased), the flags of
    // FLAGS, the attributes of LIST.
    QList<QByteArray> Words;
    // SEARCH.
    QList<quint32> Numbers;
    // ID fields and values (NIL as a null value); empty for "ID NIL".
    QList<QPair<QByteArray, QByteArray>> Id;
    // LIST: the hierarchy delimiter (empty for NIL) and the folder's wire name.
    QByteArray Delimiter;
    QByteArray Mailbox;
    TImapFetch Fetch;
    // Untagged responses not read above: everything after the name, as sent.
    QByteArray Rest;

    // The number of a code with one number, as [UIDVALIDITY n], [UIDNEXT n], [UNSEEN n].
    bool CodeNumber(quint32& value) const;
    // From CAPABILITY or a [CAPABILITY ...] code, in any letter case.
    bool HasCapability(QByteArrayView name) const;
};

// "* n FETCH (...)" with no items but UID, FLAGS, RFC822.SIZE and one BODY[section] sent
// as a literal, each at most once: a line of a listing. The flags are read and left out.
struct TImapSizeLine {
    quint32 Number = 0;
    bool HasUid = false;
    quint32 Uid = 0;
    bool HasSize = false;
    qint64 Size = 0;
    // The section (in the form TImapBody::Section has) and the literal's bytes: views of
    // the text read, valid while it is.
    bool HasBody = false;
    QByteArrayView Section;
    QByteArrayView Body;
};

enum class TImapError {
    None,
    LineTooLong,
    LiteralTooLarge,
    ResponseTooLarge,
    TooManyResponses,
    TooManyItems,
    Malformed
};

// Reads IMAP responses (RFC 3501 / 9051) from bytes as they arrive, in pieces of any
// size, literals included. Every size is bounded; the first fault stops the reader with
// an error, after which the connection cannot be trusted.
class TImapParser {
public:
    struct TLimits {
        // One line, or the part of a line between two literals.
        qsizetype MaxLine = 8 * 1024 * 1024;
        qint64 MaxLiteral = 64 * 1024 * 1024;
        // All lines and literals of one response.
        qint64 MaxResponse = 96 * 1024 * 1024;
        // Responses complete but not yet taken.
        int MaxQueued = 100000;
        // Words, flags, ID fields and body sections in one response.
        int MaxItems = 100000;
    };

    TImapParser();
    explicit TImapParser(const TLimits& limits);

    // Takes effect for the response being read and those after it.
    void SetLimits(const TLimits& limits) { m_limits = limits; }
    const TLimits& Limits() const { return m_limits; }

    // False once the reader has failed, now or before.
    bool Feed(QByteArrayView bytes);
    bool HasResponse() const { return !m_ready.empty(); }
    // The oldest complete response; an empty untagged one when there is none.
    TImapResponse Take();

    TImapError Error() const { return m_error; }
    // What went wrong, for the log: an English sentence.
    QString ErrorText() const { return m_errorText; }
    // No response waiting and no bytes of a next one: after a STARTTLS reply, anything
    // else means bytes injected before the handshake.
    bool Empty() const { return m_error == TImapError::None && m_ready.empty() && m_buffer.size() == m_start; }
    // Forget everything, the error too.
    void Clear();

    // Reads one complete response (without its final line end); an error with a reason
    // when it is not well formed or holds too many items.
    static TImapError Parse(QByteArrayView text, const TLimits& limits, TImapResponse& response, QString* why);
    // Reads text as a size line; false for anything else, which Parse reads as always.
    // What it accepts, Parse accepts too, with the same number, UID and size.
    static bool ParseSizeLine(QByteArrayView text, const TLimits& limits, TImapSizeLine& line);
    // While set, a size line read when no other response waits goes to handler at once
    // instead of becoming a response: a long listing builds no response objects. The
    // handler must not touch this reader.
    void SetSizeHandler(std::function<void(const TImapSizeLine&)> handler) { m_sizeHandler = std::move(handler); }

private:
    bool fail(TImapError error, const QString& text);
    bool frame();

    TLimits m_limits;
    QByteArray m_buffer;
    // Where the response being read starts, where its current line starts, and how far
    // it was scanned: later bytes never make the reader look at earlier ones again.
    qsizetype m_start = 0;
    qsizetype m_lineStart = 0;
    qsizetype m_scanned = 0;
    // End of a literal still arriving, 0 when none.
    qsizetype m_literalEnd = 0;
    std::deque<TImapResponse> m_ready;
    std::function<void(const TImapSizeLine&)> m_sizeHandler;
    TImapError m_error = TImapError::None;
    QString m_errorText;
};
