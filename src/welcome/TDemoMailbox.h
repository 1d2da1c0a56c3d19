#pragma once

#include <QString>

class TVarnEncryption;

// The demo mailbox's entry in the settings file: a normal mailbox on 127.0.0.1 whose
// section carries the demo mark, so that each start can serve it again on a new port.
class TDemoMailbox {
public:
    // In the language of the run that creates it; later runs find it by its demo mark.
    static QString Name();
    // The keyword that one demo message's subject carries, and the colour it is given.
    static QString KeywordRule() { return QStringLiteral("URGENT"); }
    static constexpr int KeywordColour = 0x0000FF; // red, as the settings file stores colours

    // The listed mailbox carrying the demo mark, empty when there is none.
    static QString Find(const QString& settingsPath);
    // True when some listed mailbox other than the demo exists.
    static bool OtherMailboxListed(const QString& settingsPath);

    // Adds the demo mailbox for a server on port; empty when written, else why not.
    // When no keyword rule has a word yet, one that colours a demo message is added and
    // ruleAdded is set.
    static QString Create(const QString& settingsPath, TVarnEncryption& encryption, quint16 port, bool& ruleAdded);
    // The port changes at every start.
    static void SetPort(const QString& settingsPath, const QString& name, quint16 port);
    // Why the mailbox name must not be checked, empty when it may: a demo mailbox is
    // checked only at the port this run's demo server listens on (servedPort, 0 for none),
    // as its port of an earlier run may belong to any local user by now.
    static QString Unserved(const QString& settingsPath, const QString& name, quint16 servedPort);
};
