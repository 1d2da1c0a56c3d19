#pragma once

#include <QByteArray>

// Short texts drawn from a few bytes, the same for every run: differential tests reach
// every boundary case of those bytes without a fixed table.
class TRandomText {
public:
    explicit TRandomText(quint32 seed) : m_state(seed) {}

    // Up to maxLength bytes of alphabet.
    QByteArray Next(const QByteArray& alphabet, int maxLength)
    {
        QByteArray text;
        const int length = int(Below(quint32(maxLength) + 1));
        for (int i = 0; i < length; ++i) {
            text += alphabet.at(int(Below(quint32(alphabet.size()))));
        }
        return text;
    }
    // 0 to limit - 1.
    quint32 Below(quint32 limit)
    {
        m_state = m_state * 1103515245 + 12345;
        return (m_state >> 16) % limit;
    }

private:
    quint32 m_state;
};
