#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>

// How a listed message stands: new since the last check, marked for deletion, or neither.
enum class TMark { None, New, Delete };

// One listed message. Number is its position in the listing the row came from.
struct TMailRow {
    TMark Mark = TMark::None;
    int Number = 0;
    QByteArray Size;
    QString Date;
    QString From;
    QString Subject;
    // From and Subject as received, before encoded words are decoded: keyword rules
    // written against them keep matching.
    QString RawFrom;
    QString RawSubject;
    // Empty for a row whose message has not been listed yet.
    QByteArray Id;
    // The server's unique-id of the message when it gave one (UIDL).
    QByteArray Uid;
};

// A mailbox's list of messages, rows numbered from 1 as the server numbers them.
class TMailListModel {
public:
    // Told after a change: the row changed or appended, or 0 for all rows.
    std::function<void(int row)> OnChanged;

    int Count() const { return int(m_rows.size()); }
    bool Valid(int row) const { return row >= 1 && row <= Count(); }
    const TMailRow& Row(int row) const { return m_rows.at(row - 1); }

    TMark Mark(int row) const { return Valid(row) ? Row(row).Mark : TMark::None; }
    void SetMark(int row, TMark mark);
    // Empty for rows out of range and for rows not listed.
    QByteArray Id(int row) const { return Valid(row) ? Row(row).Id : QByteArray(); }

    void Clear();
    // Rows keep their place and identifier but lose every shown value and mark, until the
    // next listing replaces them.
    void Blank();
    void Append(const TMailRow& row);
    void Append(TMailRow&& row);
    void Update(int row, const TMailRow& values);

    // Rows marked new.
    int NewCount() const;
    // The identifier keys of the rows marked new: new and not yet viewed, they stay new.
    QSet<QByteArray> NewKeys() const;
    // A listed row marked for deletion exists.
    bool AnyDeleteMarked() const;
    // Every listed row without a mark gets the deletion mark.
    void MarkUnmarkedForDelete();

    // The grid's marker text: "*" new, "x" delete, empty otherwise; unknown texts read as none.
    static QString MarkText(TMark mark);
    static TMark MarkFromText(const QString& text);

    // A header text as the screen shows it: a sender can send a header line of megabytes,
    // and laying out such a text takes seconds at every paint. Longer texts are cut,
    // never inside a surrogate pair, and end in an ellipsis; rules still see the whole.
    static constexpr int ShownLength = 1000;
    static QString ShownText(const QString& text);

    // Identifiers compare without regard to letter case (Latin-1, as TSeenIds folds them);
    // an empty one matches nothing.
    static QByteArray IdKey(const QByteArray& id);
    static bool SameId(const QByteArray& a, const QByteArray& b);

private:
    void changed(int row);

    QList<TMailRow> m_rows;
};
