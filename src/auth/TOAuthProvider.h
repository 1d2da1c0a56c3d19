#pragma once

#include "auth/TSaslOAuth.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUrl>

// Where and how a mailbox signs in through the browser: the provider's endpoints, the
// client registered there, the scope and the SASL mechanism. Read from the service
// table's "oauth" object or from a mailbox's OAuth keys.
class TOAuthProvider {
public:
    // The service's name in the table; empty for a provider given by hand.
    QString Name;
    QUrl AuthorizeUrl;
    QUrl TokenUrl;
    QString Scope;
    QString ClientId;
    QString ClientSecret;
    TSaslOAuth::Mechanism Mechanism = TSaslOAuth::Mechanism::XOAuth2;
    bool Pkce = true;
    // The build option that gives the service's client ID, for the texts that say it is missing.
    QString ClientIdOption;
    // The service still lets a mailbox sign in with an app password instead.
    bool AppPassword = false;

    // One "oauth" object of the service table; the client ID and secret come from the
    // build options it names. The client ID may still be missing: Validate() says so.
    static bool FromJson(const QJsonObject& oauth, const QString& name, TOAuthProvider& provider, QString& error);
    // The providers of a service table, by service name; entries without "oauth" are left out.
    static QMap<QString, TOAuthProvider> FromServiceTable(const QByteArray& json, QString& error);
    // Those of the table compiled into the program.
    static const QMap<QString, TOAuthProvider>& Shipped();

    // A mailbox's keys (OAuthProvider, OAuthAuthorizeUrl, OAuthTokenUrl, OAuthScope,
    // OAuthClientId, OAuthClientSecret, OAuthMechanism; names in any letter case). With
    // OAuthProvider the service's entry is taken and only the client ID and secret may be
    // given beside it. The result is validated.
    static bool FromKeys(const QMap<QString, QString>& keys, const QMap<QString, TOAuthProvider>& services,
                         TOAuthProvider& provider, QString& error);
    static bool FromKeys(const QMap<QString, QString>& keys, TOAuthProvider& provider, QString& error);

    // Everything needed to sign in is there and safe; error says what is not, in words.
    bool Validate(QString& error) const;

    // https, or http to a loopback address: an endpoint a code or token may go to.
    static bool SafeEndpoint(const QUrl& url);
    // The value a build option gave (empty when the program was built without it).
    static QString BuildOption(const QString& option);
};
