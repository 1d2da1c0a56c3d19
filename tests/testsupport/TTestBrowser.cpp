#include "testsupport/TTestBrowser.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

TTestBrowser::TTestBrowser(QObject* parent) : QObject(parent)
{
    // Loopback only, whatever proxy the environment names.
    m_network.setProxy(QNetworkProxy::NoProxy);
}

bool TTestBrowser::open(const QUrl& url)
{
    fetch(url, 0);
    return true;
}

std::function<bool(const QUrl&)> TTestBrowser::opener()
{
    return [this](const QUrl& url) { return open(url); };
}

void TTestBrowser::fetch(const QUrl& url, int hops)
{
    m_visited << url;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, hops] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (status >= 300 && status < 400 && location.isValid() && hops < 5) {
            fetch(url.resolved(location), hops + 1);
            return;
        }
        m_lastStatus = status;
        m_lastPage = reply->readAll();
        ++m_pages;
        emit pageLoaded();
    });
}
