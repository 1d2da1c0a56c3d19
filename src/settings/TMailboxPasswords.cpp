#include "settings/TMailboxPasswords.h"

#include "settings/TPasswordStore.h"
#include "settings/TSettingsKeys.h"
#include "settings/TVarnEncryption.h"

namespace Keys = TSettingsKeys;
using TResult = TPasswordStore::TResult;

namespace {

// "/" parts the two names; a name's own "/" and "%" are escaped so that no two accounts
// share an entry.
QString escaped(QString text)
{
    return text.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(QLatin1Char('/'), QStringLiteral("%2F"));
}

} // namespace

TMailboxPasswords::TMailboxPasswords(const QString& settingsPath, TVarnEncryption& encryption, TPasswordStore* store)
    : m_ini(settingsPath), m_encryption(encryption), m_store(store)
{
}

QString TMailboxPasswords::KeyOf(const QString& mailbox, const QString& login)
{
    return escaped(mailbox) + QLatin1Char('/') + escaped(login);
}

TPasswordStore* TMailboxPasswords::keyringFor(const QString& mailbox) const
{
    if (!m_store || !TSetting(Keys::OptionUseKeyring).ReadBool(m_ini)) {
        return nullptr;
    }
    // The demo's password is published; asking the keyring for it could only bring up its
    // prompts (a new keyring's password) before the demo is even seen.
    return TSetting(Keys::MailboxDemo, mailbox).ReadBool(m_ini) ? nullptr : m_store;
}

void TMailboxPasswords::writeFile(const QString& mailbox, const QString& clear)
{
    // Replaced even by an empty one, as the options dialog always did.
    TSetting(Keys::MailboxPassword, mailbox).WriteString(m_ini, m_encryption.Scramble(clear));
}

QString TMailboxPasswords::Read(const QString& mailbox, const QString& login)
{
    const TSetting fileKey(Keys::MailboxPassword, mailbox);
    TPasswordStore* store = keyringFor(mailbox);
    QString clear;
    const TResult found = store ? store->Read(KeyOf(mailbox, login), clear) : TResult::Unavailable;
    const QString stored = fileKey.ReadString(m_ini);
    if (found == TResult::Done) {
        // A copy left in the file by an older version or by hand is dropped.
        if (!stored.isEmpty()) {
            m_ini.DeleteKey(mailbox, fileKey.Key());
        }
        return clear;
    }
    if (stored.isEmpty()) {
        return {};
    }
    clear = m_encryption.Unscramble(stored);
    // Only once the keyring holds it does the file give it up.
    if (found == TResult::Missing && store->Write(KeyOf(mailbox, login), clear) == TResult::Done) {
        m_ini.DeleteKey(mailbox, fileKey.Key());
    }
    return clear;
}

void TMailboxPasswords::Write(const QString& mailbox, const QString& login, const QString& clear)
{
    TPasswordStore* store = keyringFor(mailbox);
    if (store) {
        const QString key = KeyOf(mailbox, login);
        const TResult done = clear.isEmpty() ? store->Remove(key) : store->Write(key, clear);
        if (done != TResult::Unavailable) {
            m_ini.DeleteKey(mailbox, TSetting(Keys::MailboxPassword, mailbox).Key());
            return;
        }
    }
    // No keyring: the scrambled file, as always.
    writeFile(mailbox, clear);
}

void TMailboxPasswords::Remove(const QString& mailbox, const QString& login)
{
    // Whatever the option says now, an entry stored while it was on must not outlive the mailbox.
    if (m_store) {
        m_store->Remove(KeyOf(mailbox, login));
    }
}

void TMailboxPasswords::Rename(const QString& oldName, const QString& oldLogin, const QString& newName,
                               const QString& newLogin)
{
    const QString from = KeyOf(oldName, oldLogin);
    const QString to = KeyOf(newName, newLogin);
    if (!m_store || from == to) {
        return;
    }
    QString clear;
    if (m_store->Read(from, clear) != TResult::Done) {
        return;
    }
    // Written first, so that a failure leaves the old entry rather than none.
    if (m_store->Write(to, clear) == TResult::Done) {
        m_store->Remove(from);
    }
}

void TMailboxPasswords::MoveToFile(const QString& mailbox, const QString& login)
{
    if (!m_store) {
        return;
    }
    const QString key = KeyOf(mailbox, login);
    QString clear;
    if (m_store->Read(key, clear) != TResult::Done) {
        return;
    }
    writeFile(mailbox, clear);
    m_store->Remove(key);
}
