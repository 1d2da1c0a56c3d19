#pragma once

#include "mailbox/TConnectionTest.h"

// A connection test without encryption: greeting, USER, PASS and QUIT over the socket
// client. Any security but "None" is refused before a connection is made.
class TPlainLoginTest {
public:
    static TConnectionTestResult Run(const TConnectionParams& params);
};
