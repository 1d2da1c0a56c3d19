#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <functional>

// Stands in for the user's browser in tests: fetches the URL it is given and follows
// redirects (to the loopback listener, say), as a browser whose user approves at once.
// Runs on the test's thread without blocking; open() returns at once.
class TTestBrowser : public QObject {
    Q_OBJECT
public:
    explicit TTestBrowser(QObject* parent = nullptr);

    bool open(const QUrl& url);
    // open() as a flow's opener.
    std::function<bool(const QUrl&)> opener();

    // Every URL requested, redirects included.
    QList<QUrl> visited() const { return m_visited; }
    // The last page shown: its status (0 when the connection failed) and body.
    int lastStatus() const { return m_lastStatus; }
    QByteArray lastPage() const { return m_lastPage; }
    int pages() const { return m_pages; }

signals:
    void pageLoaded();

private:
    void fetch(const QUrl& url, int hops);

    QNetworkAccessManager m_network;
    QList<QUrl> m_visited;
    int m_lastStatus = 0;
    QByteArray m_lastPage;
    int m_pages = 0;
};
