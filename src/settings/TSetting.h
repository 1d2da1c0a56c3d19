#pragma once

#include <QString>

class TIniFile;

// One entry of the settings table: section, key and the value a missing key reads as.
struct TSettingKey {
    // Null for a mailbox's own keys: the mailbox's name is the section.
    const char* Section;
    // For a numbered key (Column0.., HighLight1..) the stem before the number.
    const char* Key;
    const char* Default;
};

// A table entry resolved to its section and key in the file, read and written through TIniFile.
class TSetting {
public:
    TSetting(const TSettingKey& key); // NOLINT(google-explicit-constructor): a key stands for its setting
    TSetting(const TSettingKey& key, const QString& mailbox);

    // The key with its number appended.
    TSetting Numbered(int number) const;
    // The same setting read with another default, for readers whose missing value differs.
    TSetting WithDefault(const QString& value) const;

    const QString& Section() const { return m_section; }
    const QString& Key() const { return m_key; }
    const QString& Default() const { return m_default; }

    QString ReadString(const TIniFile& ini) const;
    int ReadInteger(const TIniFile& ini) const;
    bool ReadBool(const TIniFile& ini) const;
    void WriteString(TIniFile& ini, const QString& value) const;
    void WriteInteger(TIniFile& ini, int value) const;
    void WriteBool(TIniFile& ini, bool value) const;

private:
    QString m_section;
    QString m_key;
    QString m_default;
};
