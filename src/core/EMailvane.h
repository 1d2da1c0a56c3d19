#pragma once

#include <QString>
#include <exception>

// Base of the program's own failures; carries the text the exception hook shows.
class EMailvane : public std::exception {
public:
    explicit EMailvane(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
