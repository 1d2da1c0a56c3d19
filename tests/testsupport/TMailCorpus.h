#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Messages shaped like the mail people receive, each with what a reader must see: the
// list cells, texts the readable body holds and must not hold, and the attachments.
struct TCorpusAttachment {
    QString FileName;
    QString Type;
    QByteArray Data;
};

struct TCorpusMail {
    QByteArray Name;
    QByteArray Bytes; // CR LF line ends, no dot-stuffing
    QString From;
    QString Subject;
    QStringList BodyHas;
    QStringList BodyLacks;
    QList<TCorpusAttachment> Attachments;
};

class TMailCorpus {
public:
    // withLarge adds the message with a 10 MB attachment.
    static QList<TCorpusMail> Messages(bool withLarge);
    // The message as a RETR reply carries it: status line, dot-stuffed, terminated.
    static QByteArray RetrReply(const QByteArray& message);
    // Deterministic bytes of every value, as an attachment's content.
    static QByteArray Noise(qsizetype size, quint32 seed);
    // A multipart/mixed message: a Big5 text part and one Base64 attachment of data.
    static QByteArray WithAttachment(const QByteArray& id, const QByteArray& data);
};
