#include "mailbox/TImapCommand.h"

#include <algorithm>

namespace {

bool breaksLine(const QByteArray& text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

QList<QByteArray> ranges(QList<quint32> uids)
{
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    uids.removeAll(0);
    QList<QByteArray> out;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype j = i;
        while (j + 1 < uids.size() && uids.at(j + 1) == uids.at(j) + 1) {
            ++j;
        }
        QByteArray range = QByteArray::number(uids.at(i));
        if (j > i) {
            range += ':' + QByteArray::number(uids.at(j));
        }
        out.append(range);
        i = j + 1;
    }
    return out;
}

} // namespace

TImapCommand::TImapCommand(const QByteArray& tag, const QByteArray& verb)
{
    m_valid = !tag.isEmpty() && !tag.contains(' ') && !breaksLine(tag) && !breaksLine(verb);
    m_parts.append({tag + ' ' + verb, false});
}

TImapCommand& TImapCommand::Add(const QByteArray& words)
{
    m_valid = m_valid && !breaksLine(words);
    m_parts.append({words, false});
    return *this;
}

TImapCommand& TImapCommand::AddString(const QByteArray& value)
{
    // A literal carries CR and LF, but NUL only in a literal8, which servers need not take.
    m_valid = m_valid && !value.contains('\0');
    if (NeedsLiteral(value)) {
        m_parts.append({value, true});
    } else {
        m_parts.append({Quoted(value), false});
    }
    return *this;
}

QList<QByteArray> TImapCommand::Pieces(TLiterals literals) const
{
    if (!m_valid) {
        return {};
    }
    QList<QByteArray> pieces;
    QByteArray current;
    for (qsizetype i = 0; i < m_parts.size(); ++i) {
        const TPart& part = m_parts.at(i);
        if (i > 0) {
            current += ' ';
        }
        if (!part.Literal) {
            current += part.Text;
            continue;
        }
        const bool wait = literals == TLiterals::Synchronising ||
                          (literals == TLiterals::Minus && part.Text.size() > MaxMinusLiteral);
        current += '{' + QByteArray::number(part.Text.size()) + (wait ? "}\r\n" : "+}\r\n");
        if (wait) {
            pieces.append(current);
            current.clear();
        }
        current += part.Text;
    }
    pieces.append(current + "\r\n");
    return pieces;
}

bool TImapCommand::NeedsLiteral(const QByteArray& value)
{
    if (value.size() > MaxQuoted) {
        return true;
    }
    return std::any_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte >= 0x7f;
    });
}

QByteArray TImapCommand::Quoted(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size() + 2);
    out += '"';
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

QByteArray TImapCommand::UidSet(QList<quint32> uids)
{
    return ranges(std::move(uids)).join(',');
}

QList<QByteArray> TImapCommand::UidSets(QList<quint32> uids, int maxLength)
{
    QList<QByteArray> sets;
    QByteArray current;
    for (const QByteArray& range : ranges(std::move(uids))) {
        if (!current.isEmpty() && current.size() + 1 + range.size() > maxLength) {
            sets.append(current);
            current.clear();
        }
        current += (current.isEmpty() ? QByteArray() : QByteArray(",")) + range;
    }
    if (!current.isEmpty()) {
        sets.append(current);
    }
    return sets;
}
