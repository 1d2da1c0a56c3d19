#pragma once

#include "dialup/RasRecords.h"

#include <QString>
#include <memory>
#include <vector>

// Owned copies of the active connections' records, in the order they were added.
class TConnectionList {
public:
    // Copies one record and returns the address just after it, to walk an array.
    const RASCONN* AddConnection(const RASCONN* record);
    // The handle of that record, 0 for an index out of range.
    RASHANDLE RASConn(int index) const;
    // The entry name of that record, empty for an index out of range.
    QString EntryName(int index) const;
    void Delete(int index);
    void Clear() { m_records.clear(); }
    int Count() const { return static_cast<int>(m_records.size()); }
    const RASCONN* Record(int index) const;

private:
    std::vector<std::unique_ptr<RASCONN>> m_records;
};
