#pragma once

#include <QByteArray>
#include <QList>

// One IMAP command as it goes on the wire. Strings are quoted, or sent as literals
// when they hold line breaks, 8-bit bytes or are long, so no argument can end the
// command early; a part that could (CR, LF or NUL where no literal may carry it)
// makes the command invalid instead of being sent.
class TImapCommand {
public:
    // How the server takes literals: LITERAL+ and LITERAL- let the client send them
    // without waiting (LITERAL- up to 4096 bytes).
    enum class TLiterals { Synchronising, Plus, Minus };

    // Quoted strings longer than this go as literals.
    static constexpr int MaxQuoted = 1024;
    static constexpr int MaxMinusLiteral = 4096;

    // verb may hold several words ("UID FETCH").
    TImapCommand(const QByteArray& tag, const QByteArray& verb);

    // Words that go as they are: atoms, sequence sets, parenthesised item lists.
    TImapCommand& Add(const QByteArray& words);
    // A string argument (astring): a login, a password, a folder's wire name.
    TImapCommand& AddString(const QByteArray& value);

    bool Valid() const { return m_valid; }
    // What to send: one piece, or with synchronising literals several, each but the last
    // ending with a literal's "{n}" CR LF, the next to be sent after the server's "+".
    // Empty for an invalid command.
    QList<QByteArray> Pieces(TLiterals literals) const;

    // True when value cannot go as a quoted string.
    static bool NeedsLiteral(const QByteArray& value);
    // value between double quotes, '"' and '\' escaped; only for values that need no literal.
    static QByteArray Quoted(const QByteArray& value);
    // A UID set in the shortest form, "1:3,7,9:12": sorted, repeats and 0 dropped.
    static QByteArray UidSet(QList<quint32> uids);
    // The same split into sets of at most maxLength bytes, for commands a server takes
    // only up to a line length.
    static QList<QByteArray> UidSets(QList<quint32> uids, int maxLength);

private:
    struct TPart {
        QByteArray Text;
        bool Literal = false;
    };
    QList<TPart> m_parts;
    bool m_valid = true;
};
