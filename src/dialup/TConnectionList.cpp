#include "dialup/TConnectionList.h"

#include <cstring>

const RASCONN* TConnectionList::AddConnection(const RASCONN* record)
{
    auto copy = std::make_unique<RASCONN>();
    std::memcpy(copy.get(), record, sizeof(RASCONN));
    m_records.push_back(std::move(copy));
    return record + 1;
}

const RASCONN* TConnectionList::Record(int index) const
{
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return m_records[static_cast<size_t>(index)].get();
}

RASHANDLE TConnectionList::RASConn(int index) const
{
    const RASCONN* record = Record(index);
    return record ? record->hrasconn : 0;
}

QString TConnectionList::EntryName(int index) const
{
    const RASCONN* record = Record(index);
    if (!record) {
        return QString();
    }
    // The platform may fill the field to the brim; never read past it.
    return QString::fromLocal8Bit(record->szEntryName, qstrnlen(record->szEntryName, sizeof(record->szEntryName)));
}

void TConnectionList::Delete(int index)
{
    if (index >= 0 && index < Count()) {
        m_records.erase(m_records.begin() + index);
    }
}
