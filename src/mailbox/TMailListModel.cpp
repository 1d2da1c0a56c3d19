#include "mailbox/TMailListModel.h"

#include "mailbox/TSeenIds.h"

void TMailListModel::changed(int row)
{
    if (OnChanged) {
        OnChanged(row);
    }
}

void TMailListModel::SetMark(int row, TMark mark)
{
    if (Valid(row) && m_rows[row - 1].Mark != mark) {
        m_rows[row - 1].Mark = mark;
        changed(row);
    }
}

void TMailListModel::Clear()
{
    m_rows.clear();
    changed(0);
}

void TMailListModel::Blank()
{
    for (TMailRow& row : m_rows) {
        QByteArray id = std::move(row.Id);
        row = TMailRow();
        row.Id = std::move(id);
    }
    changed(0);
}

void TMailListModel::Append(const TMailRow& row)
{
    m_rows.append(row);
    changed(Count());
}

void TMailListModel::Append(TMailRow&& row)
{
    m_rows.append(std::move(row));
    changed(Count());
}

void TMailListModel::Update(int row, const TMailRow& values)
{
    if (Valid(row)) {
        m_rows[row - 1] = values;
        changed(row);
    }
}

int TMailListModel::NewCount() const
{
    int count = 0;
    for (const TMailRow& row : m_rows) {
        count += row.Mark == TMark::New ? 1 : 0;
    }
    return count;
}

bool TMailListModel::AnyDeleteMarked() const
{
    for (const TMailRow& row : m_rows) {
        if (row.Mark == TMark::Delete && !row.Id.isEmpty()) {
            return true;
        }
    }
    return false;
}

void TMailListModel::MarkUnmarkedForDelete()
{
    for (int row = 1; row <= Count(); ++row) {
        if (Mark(row) == TMark::None && !Id(row).isEmpty()) {
            SetMark(row, TMark::Delete);
        }
    }
}

QString TMailListModel::ShownText(const QString& text)
{
    if (text.size() <= ShownLength) {
        return text;
    }
    // The ellipsis is the last of the shown characters.
    qsizetype cut = ShownLength - 1;
    if (text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    return text.left(cut) + QChar(0x2026);
}

QString TMailListModel::MarkText(TMark mark)
{
    switch (mark) {
    case TMark::New:
        return QStringLiteral("*");
    case TMark::Delete:
        return QStringLiteral("x");
    case TMark::None:
        break;
    }
    return QString();
}

TMark TMailListModel::MarkFromText(const QString& text)
{
    if (text == QLatin1String("*")) {
        return TMark::New;
    }
    if (text == QLatin1String("x")) {
        return TMark::Delete;
    }
    return TMark::None;
}

QByteArray TMailListModel::IdKey(const QByteArray& id)
{
    return TSeenIds::FoldCase(id);
}

bool TMailListModel::SameId(const QByteArray& a, const QByteArray& b)
{
    return !a.isEmpty() && IdKey(a) == IdKey(b);
}

QSet<QByteArray> TMailListModel::NewKeys() const
{
    QSet<QByteArray> keys;
    for (int row = 1; row <= Count(); ++row) {
        if (Mark(row) == TMark::New && !Id(row).isEmpty()) {
            keys.insert(IdKey(Id(row)));
        }
    }
    return keys;
}
