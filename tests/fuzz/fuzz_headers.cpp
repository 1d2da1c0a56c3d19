// Header extraction from a TOP reply, and the Message-ID's round trip through the
// seen-ID list: an ID must be recognised at the next check.

#include "fuzz/FuzzSupport.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TSeenIds.h"
#include "settings/TIniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply = fuzz::bytes(data, size);

    const QByteArray upper = THeaderExtract::UpperAscii(reply);
    FUZZ_CHECK(upper.size() == reply.size());
    for (qsizetype i = 0; i < reply.size(); ++i) {
        const char c = reply.at(i);
        FUZZ_CHECK(upper.at(i) == (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }

    for (const char* name : {"MESSAGE-ID", "DATE", "FROM", "SUBJECT", "CONTENT-TYPE"}) {
        const QByteArray value = THeaderExtract::Value(reply, name);
        FUZZ_CHECK(!value.contains("\r\n") && !value.startsWith(' '));
        FUZZ_CHECK(value.isEmpty() || reply.contains(value));
    }

    const QByteArray id = THeaderExtract::MessageId(reply, "1234");
    FUZZ_CHECK(!id.isEmpty() && id.size() <= 1023);
    FUZZ_CHECK(id == THeaderExtract::MessageId(reply, "1234"));

    // Stored after a listing and loaded at the next check, the ID is found again, and
    // stays apart from a message that differs from it.
    const QString path = fuzz::scratchIni();
    fuzz::writeFile(path, QByteArray());
    TIniFile ini(path);
    TSeenIds::Store(ini, QStringLiteral("box"), {id});
    TSeenIds seen;
    seen.Load(ini, QStringLiteral("box"));
    FUZZ_CHECK(seen.Contains(id));
    FUZZ_CHECK(!seen.Contains(id + "x"));
    return 0;
}
