#pragma once

#include <QByteArray>

// Writes every byte to an open descriptor, going on after a signal interrupts it; false on
// any other failure (errno tells which).
bool WriteAllBytes(int fd, const QByteArray& data);
