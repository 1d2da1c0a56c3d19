#include "settings/TSetting.h"

#include "settings/TIniFile.h"

TSetting::TSetting(const TSettingKey& key)
    : m_section(QString::fromLatin1(key.Section)), m_key(QString::fromLatin1(key.Key)),
      m_default(QString::fromLatin1(key.Default))
{
    Q_ASSERT(key.Section);
}

TSetting::TSetting(const TSettingKey& key, const QString& mailbox)
    : m_section(mailbox), m_key(QString::fromLatin1(key.Key)), m_default(QString::fromLatin1(key.Default))
{
    Q_ASSERT(!key.Section);
}

TSetting TSetting::Numbered(int number) const
{
    TSetting numbered = *this;
    numbered.m_key += QString::number(number);
    return numbered;
}

TSetting TSetting::WithDefault(const QString& value) const
{
    TSetting other = *this;
    other.m_default = value;
    return other;
}

QString TSetting::ReadString(const TIniFile& ini) const
{
    return ini.ReadString(m_section, m_key, m_default);
}

int TSetting::ReadInteger(const TIniFile& ini) const
{
    return ini.ReadInteger(m_section, m_key, m_default.toInt());
}

bool TSetting::ReadBool(const TIniFile& ini) const
{
    return ini.ReadBool(m_section, m_key, m_default.toInt() != 0);
}

void TSetting::WriteString(TIniFile& ini, const QString& value) const
{
    ini.WriteString(m_section, m_key, value);
}

void TSetting::WriteInteger(TIniFile& ini, int value) const
{
    ini.WriteInteger(m_section, m_key, value);
}

void TSetting::WriteBool(TIniFile& ini, bool value) const
{
    ini.WriteBool(m_section, m_key, value);
}
