#include "testsupport/TScriptTransport.h"

TScriptTransport& TScriptTransport::Says(const QByteArray& bytes)
{
    m_steps.append({Kind::Say, bytes, 0, {}});
    return *this;
}

TScriptTransport& TScriptTransport::Expects(const QByteArray& line)
{
    m_steps.append({Kind::Expect, line, 0, {}});
    return *this;
}

TScriptTransport& TScriptTransport::Closes()
{
    m_steps.append({Kind::Close, {}, 0, {}});
    return *this;
}

TScriptTransport& TScriptTransport::Fails(int error, const QString& msg)
{
    m_steps.append({Kind::Fail, {}, error, msg});
    return *this;
}

bool TScriptTransport::failNext()
{
    if (m_steps.isEmpty() || m_steps.first().kind != Kind::Fail) {
        return false;
    }
    const Step step = m_steps.takeFirst();
    m_connected = false;
    if (m_report) {
        m_report(Handle, step.error, step.msg);
    }
    return true;
}

void TScriptTransport::Open(const QString& host, int timeout)
{
    Host = host;
    Timeout = timeout;
    ++Opens;
    if (failNext()) {
        return;
    }
    m_connected = true;
}

void TScriptTransport::StartTls()
{
    if (failNext()) {
        return;
    }
    ++TlsStarts;
    SentBeforeTls = int(Sent.size());
}

void TScriptTransport::Send(const QByteArray& bytes)
{
    if (failNext()) {
        return;
    }
    if (!m_connected) {
        Mismatches.append(QStringLiteral("sent while closed: ") + QString::fromLatin1(bytes));
        return;
    }
    m_unsent += bytes;
    for (int end = m_unsent.indexOf("\r\n"); end >= 0; end = m_unsent.indexOf("\r\n")) {
        const QByteArray line = m_unsent.left(end);
        m_unsent.remove(0, end + 2);
        Sent.append(line);
        if (m_steps.isEmpty() || m_steps.first().kind != Kind::Expect) {
            Mismatches.append(QStringLiteral("unexpected: ") + QString::fromLatin1(line));
            continue;
        }
        const Step step = m_steps.takeFirst();
        if (step.bytes != line) {
            Mismatches.append(
                QStringLiteral("expected %1, sent %2").arg(QString::fromLatin1(step.bytes), QString::fromLatin1(line)));
        }
    }
}

QByteArray TScriptTransport::Receive()
{
    if (failNext()) {
        return {};
    }
    if (!m_connected || m_steps.isEmpty()) {
        return {};
    }
    const Kind next = m_steps.first().kind;
    if (next == Kind::Close) {
        m_steps.removeFirst();
        m_connected = false;
        return {};
    }
    if (next == Kind::Expect) {
        Mismatches.append(QStringLiteral("waits for a reply while the server waits for ") +
                          QString::fromLatin1(m_steps.first().bytes));
        return {};
    }
    return m_steps.takeFirst().bytes;
}

void TScriptTransport::Close()
{
    m_connected = false;
    m_unsent.clear();
}
