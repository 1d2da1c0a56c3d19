#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The rules a settings value must follow, shared by the options dialog and start-up.
class TSettingsRules {
    Q_DECLARE_TR_FUNCTIONS(TSettingsRules)

public:
    // The hour list: whole hours 1..24 separated by commas, 24 being the midnight that ends the day.
    // Why the list is refused ("Bad time schedule!" for a piece that is no integer, "時間表格式錯誤！"
    // for an hour outside the day or a list longer than the file keeps); empty when it is accepted.
    static QString HourListError(const QString& list);
    // Marks each listed hour h at hours[h - 1], skipping hours outside the day (a hand-edited
    // file may hold them). Throws EConvertError at the first piece that is no integer,
    // leaving the hours before it marked.
    static void ReadHourList(const QString& list, bool hours[24]);

    // A name that can stand as a mailbox: a section of its own in the settings file that no
    // other part of the file uses, and a window caption of its own.
    static bool ValidMailboxName(const QString& name);
    // Mailbox names are told apart without regard to letter case, as the file's sections are.
    // The index of name in names, or -1.
    static int FindMailboxName(const QStringList& names, const QString& name);

    // A mailbox's security word ("None", "STARTTLS", "TLS", any letter case; empty is "None"),
    // upper-cased; empty when the word is none of them.
    static QString SecurityWord(const QString& text);
    // Why a mailbox's port is refused ("埠號必須是 1 到 65535 的整數！"); empty when it is a
    // decimal port 1..65535 or empty (the security's usual port).
    static QString PortError(const QString& port);
    // Empty when the password's scrambled form fits a settings value, else the message.
    static QString PasswordError(const QString& clear);
    // A SHA-256 fingerprint (64 hexadecimal digits, either case, colons and spaces allowed)
    // as upper-case pairs joined by colons; empty when it is not one.
    static QString NormalisedFingerprint(const QString& text);

    // The network time-out in seconds that the options dialog accepts.
    static constexpr int MinTimeout = 0;
    static constexpr int MaxTimeout = 60;
    static bool TimeoutInRange(int seconds) { return seconds >= MinTimeout && seconds <= MaxTimeout; }
};
