#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>

class TIniFile;

// The seen-ID section of a mailbox ("IDs:" + name): the Message-IDs of the last
// listing in message order. Lookups ignore letter case and cost O(1) each.
class TSeenIds {
public:
    static QString SectionName(const QString& mailbox);
    // The form of an ID that reads back unchanged from the settings file: CR and LF
    // as blanks, surrounding blanks and enclosing double quotes dropped. Earlier
    // stored values are already in this form.
    static QByteArray Storable(const QByteArray& id);
    // id in Latin-1 lower case: the bytes of QString::fromLatin1(id).toLower().
    static QByteArray FoldCase(const QByteArray& id);

    // Reads keys "1", "2", ... up to the first empty value. pump runs between reads so
    // a long list does not freeze the window.
    void Load(const TIniFile& ini, const QString& mailbox, const std::function<void()>& pump = {});
    // Erases the section and writes the list as keys "1" ... n.
    static void Store(TIniFile& ini, const QString& mailbox, const QList<QByteArray>& ids,
                      const std::function<void()>& pump = {});

    void Add(const QByteArray& id);
    bool Contains(const QByteArray& id) const;
    const QList<QByteArray>& Ids() const { return m_ids; }
    void Clear();

private:
    static QByteArray key(const QByteArray& id);

    QList<QByteArray> m_ids;
    QSet<QByteArray> m_keys;
};
