#pragma once

#include <QString>

// What a connection test is given: a mailbox's server, security and account.
struct TConnectionParams {
    QString Host;
    QString Port;
    QString Security;
    QString Login;
    QString Password;
    QString CertSha256;
    int Timeout = 60;
};

// How a connection test ended; for a certificate nobody vouches for, what it says of itself.
struct TConnectionTestResult {
    bool Ok = false;
    QString Message;
    bool CertUntrusted = false;
    QString Subject, Issuer, ValidFrom, ValidTo, Fingerprint;
};
