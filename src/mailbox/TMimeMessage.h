#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// One attachment of a parsed message: the decoded file name (RFC 2047 or 2231), the
// media type and the size of its decoded content.
struct TMimeAttachment {
    QString FileName;
    QString Type;
    qint64 Size = 0;
};

// A message read as a mail program reads it: decoded header values, the body as text
// (of alternatives the plain text, else the HTML rendered to text) and the attachments.
// Any input gives a result in time linear in its size; nothing here ever throws.
class TMimeMessage {
public:
    // What the bytes are: the message itself, or a RETR reply (status line, dot-stuffed
    // lines and the terminating line are removed first).
    enum class Source { Message, Pop3Reply };

    explicit TMimeMessage(const QByteArray& bytes, Source source = Source::Message);
    ~TMimeMessage();
    TMimeMessage(const TMimeMessage&) = delete;
    TMimeMessage& operator=(const TMimeMessage&) = delete;

    QString From() const { return m_from; }
    QString To() const { return m_to; }
    QString Date() const { return m_date; }
    QString Subject() const { return m_subject; }
    // Line ends are "\n"; other control characters but Tab are dropped.
    QString Body() const { return m_body; }
    const QList<TMimeAttachment>& Attachments() const { return m_attachments; }
    // The decoded bytes of an attachment; empty for an index out of range.
    QByteArray AttachmentData(int index) const;

    // The readable rendering: header block (unless hidden), body, attachment list.
    QString Text(bool withHeader) const;

    // A header value decoded for display: encoded words in any charset iconv knows, folded
    // lines unfolded; raw 8-bit bytes are read as TCharset::HeaderText reads them.
    // message is the header block (or whole message) the value came from.
    static QString HeaderText(const QByteArray& value, const QByteArray& message);
    // As HeaderText, for an address header: a display name loses quotes that only
    // enclosed it ("=?UTF-8?B?...?=" <a@b> reads as Name <a@b>).
    static QString AddressText(const QByteArray& value, const QByteArray& message);
    // The first header called name (any case) in the header block of message, with its
    // continuation lines; empty when absent.
    static QByteArray HeaderValue(const QByteArray& message, const QByteArray& name);

private:
    struct Private;
    std::unique_ptr<Private> d;
    QString m_from;
    QString m_to;
    QString m_date;
    QString m_subject;
    QString m_body;
    QList<TMimeAttachment> m_attachments;
};
