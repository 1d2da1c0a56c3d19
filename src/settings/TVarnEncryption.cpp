#include "settings/TVarnEncryption.h"

#include "core/TIntConvert.h"

#include <QRandomGenerator>

namespace {

// Cycles through the key from its first byte; an empty key means the default one.
class KeyCursor {
public:
    explicit KeyCursor(const QString& key) : m_key(key.isEmpty() ? QByteArrayLiteral("Vel Orn") : key.toUtf8()) {}

    quint8 next()
    {
        if (m_pos == m_key.size()) {
            m_pos = 0;
        }
        return static_cast<quint8>(m_key.at(m_pos++));
    }

private:
    QByteArray m_key;
    int m_pos = 0;
};

const char kHex[] = "0123456789ABCDEF";

void appendHex(QByteArray& out, int value)
{
    out.append(kHex[(value >> 4) & 0xF]);
    out.append(kHex[value & 0xF]);
}

} // namespace

QByteArray TVarnEncryption::ScrambleBytes(const QByteArray& clear, int start) const
{
    KeyCursor key(Key);
    const int r = start < 0 ? static_cast<int>(QRandomGenerator::global()->bounded(256)) : (start & 0xFF);
    QByteArray out;
    out.reserve(2 * (clear.size() + 1));
    appendHex(out, r);
    int prev = r;
    for (const char ch : clear) {
        const int b = static_cast<quint8>(ch);
        const int c = ((b + prev) % 255) ^ key.next();
        appendHex(out, c);
        prev = c;
    }
    return out;
}

QByteArray TVarnEncryption::UnscrambleBytes(const QString& stored) const
{
    KeyCursor key(Key);
    int prev = TIntConvert::StrToInt(QLatin1Char('$') + stored.mid(0, 2));
    QByteArray out;
    out.reserve(stored.size() / 2);
    // Runs at least once, so a text of one or two characters fails on the empty pair.
    // A lone last character is read only as the first pair; later ones are ignored.
    int p = 2;
    do {
        const int c = TIntConvert::StrToInt(QLatin1Char('$') + stored.mid(p, 2));
        const int d = c ^ key.next();
        const int b = prev < d ? d - prev : d - prev + 255;
        out.append(static_cast<char>(b));
        prev = c;
        p += 2;
    } while (stored.size() > p + 1);
    return out;
}

void TVarnEncryption::Execute()
{
    if (Action == atEncryption) {
        Output = QString::fromLatin1(ScrambleBytes(Input.toUtf8()));
    } else {
        // Output is assigned only after the whole text converted.
        Output = QString::fromUtf8(UnscrambleBytes(Input));
    }
}

QString TVarnEncryption::Scramble(const QString& clear)
{
    Output.clear();
    Input = clear;
    Action = atEncryption;
    if (!Input.isEmpty()) {
        Execute();
    }
    return Output;
}

QString TVarnEncryption::Unscramble(const QString& stored)
{
    Output.clear();
    Input = stored;
    Action = atDecryption;
    if (!Input.isEmpty()) {
        Execute();
    }
    return Output;
}
