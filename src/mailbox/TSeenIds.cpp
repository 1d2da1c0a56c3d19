#include "mailbox/TSeenIds.h"

#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"

#include <QHash>

#include <algorithm>

QString TSeenIds::SectionName(const QString& mailbox)
{
    return QLatin1String(TSettingsKeys::SeenIdsPrefix) + mailbox;
}

QByteArray TSeenIds::Storable(const QByteArray& id)
{
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    if (!id.isEmpty() && !blank(id.front()) && !blank(id.back()) &&
        !(id.size() >= 2 && id.startsWith('"') && id.endsWith('"')) && !id.contains('\r') && !id.contains('\n')) {
        // Already in the form it reads back in: most IDs are.
        return id;
    }
    QByteArray out = id;
    out.replace('\r', ' ').replace('\n', ' ');
    out = out.trimmed();
    // Reading drops a pair of enclosing quotes and trims again: strip until that is a no-op.
    while (out.size() >= 2 && out.startsWith('"') && out.endsWith('"')) {
        out = out.mid(1, out.size() - 2).trimmed();
    }
    return out;
}

QByteArray TSeenIds::key(const QByteArray& id)
{
    return FoldCase(Storable(id));
}

QByteArray TSeenIds::FoldCase(const QByteArray& id)
{
    // Without the copy to UTF-16, and without any copy when nothing changes.
    QByteArray out = id;
    const auto upper = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'A' && u <= 'Z') || (u >= 0xc0 && u <= 0xde && u != 0xd7);
    };
    if (std::none_of(out.cbegin(), out.cend(), upper)) {
        return out;
    }
    for (char& c : out) {
        if (upper(c)) {
            c = static_cast<char>(static_cast<unsigned char>(c) + 0x20);
        }
    }
    return out;
}

void TSeenIds::Clear()
{
    m_ids.clear();
    m_keys.clear();
}

void TSeenIds::Add(const QByteArray& id)
{
    m_ids.append(id);
    m_keys.insert(key(id));
}

bool TSeenIds::Contains(const QByteArray& id) const
{
    return m_keys.contains(key(id));
}

void TSeenIds::Load(const TIniFile& ini, const QString& mailbox, const std::function<void()>& pump)
{
    Clear();
    // One read of the whole section; the first line of a key counts, as for single reads.
    QHash<QString, QString> values;
    const auto entries = ini.ReadSection(SectionName(mailbox));
    for (const auto& entry : entries) {
        const QString k = entry.first.toLower();
        if (!values.contains(k)) {
            values.insert(k, entry.second);
        }
    }
    if (pump) {
        pump();
    }
    for (int n = 1;; ++n) {
        const QString value = values.value(QString::number(n));
        if (value.isEmpty()) {
            break;
        }
        Add(value.toLatin1());
    }
}

void TSeenIds::Store(TIniFile& ini, const QString& mailbox, const QList<QByteArray>& ids,
                     const std::function<void()>& pump)
{
    QList<QPair<QString, QString>> entries;
    entries.reserve(ids.size());
    for (int n = 0; n < ids.size(); ++n) {
        entries.append({QString::number(n + 1), QString::fromLatin1(ids.at(n))});
    }
    if (pump) {
        pump();
    }
    // Erased and rewritten in one step: a crash never leaves half a list.
    ini.WriteSection(SectionName(mailbox), entries);
}
