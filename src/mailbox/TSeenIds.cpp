#include "mailbox/TSeenIds.h"

#include "settings/TIniFile.h"

QString TSeenIds::SectionName(const QString& mailbox)
{
    return QStringLiteral("IDs:") + mailbox;
}

QString TSeenIds::key(const QByteArray& id)
{
    return QString::fromLatin1(id).toLower();
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
    const QString section = SectionName(mailbox);
    for (int n = 1;; ++n) {
        const QString value = ini.ReadString(section, QString::number(n), QString());
        if (value.isEmpty()) {
            break;
        }
        Add(value.toLatin1());
        if (pump) {
            pump();
        }
    }
}

void TSeenIds::Store(TIniFile& ini, const QString& mailbox, const QList<QByteArray>& ids,
                     const std::function<void()>& pump)
{
    const QString section = SectionName(mailbox);
    ini.EraseSection(section);
    for (int n = 0; n < ids.size(); ++n) {
        ini.WriteString(section, QString::number(n + 1), QString::fromLatin1(ids.at(n)));
        if (pump) {
            pump();
        }
    }
}
