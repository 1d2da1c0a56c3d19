// POP3 replies: where a reply ends, the STAT count, the LIST size, the RETR bound and
// the body the viewer shows.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TPop3Reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray buffer = fuzz::bytes(data, size);

    // A complete reply ends with its terminator, and no shorter prefix is complete.
    const int line = TPop3Reply::CompleteLength(buffer, false);
    if (line < 0) {
        FUZZ_CHECK(!buffer.contains("\r\n"));
    } else {
        FUZZ_CHECK(line <= buffer.size() && buffer.left(line).endsWith("\r\n"));
        FUZZ_CHECK(TPop3Reply::CompleteLength(buffer.left(line - 1), false) < 0);
    }
    const int multi = TPop3Reply::CompleteLength(buffer, true);
    if (multi < 0) {
        FUZZ_CHECK(!buffer.contains("\r\n.\r\n"));
    } else {
        FUZZ_CHECK(multi <= buffer.size() && buffer.left(multi).endsWith("\r\n.\r\n"));
        FUZZ_CHECK(TPop3Reply::CompleteLength(buffer.left(multi - 1), true) < 0);
        // Bytes that arrive later do not move the end.
        FUZZ_CHECK(TPop3Reply::CompleteLength(buffer + "\r\n.\r\n", true) == multi);
    }

    // The count is the second word; a plain decimal number in range is always taken.
    int count = -1;
    const bool counted = TPop3Reply::StatCount(buffer, count);
    if (counted) {
        FUZZ_CHECK(count >= 0 && count <= TPop3Reply::MaxMessages);
    }
    const qsizetype first = buffer.indexOf(' ');
    if (first >= 0) {
        qsizetype end = first + 1;
        while (end < buffer.size() && buffer[end] != ' ' && buffer[end] != '\r' && buffer[end] != '\n') {
            ++end;
        }
        const QByteArray word = buffer.mid(first + 1, end - first - 1);
        bool digits = !word.isEmpty() && word.size() <= 9;
        for (const char c : word) {
            digits = digits && c >= '0' && c <= '9';
        }
        if (digits && word.toInt() <= TPop3Reply::MaxMessages) {
            FUZZ_CHECK(counted && count == word.toInt());
        }
    }

    const QByteArray listed = TPop3Reply::ListSize(buffer);
    FUZZ_CHECK(!listed.contains("\r\n"));
    FUZZ_CHECK(listed.isEmpty() || buffer.contains(listed));

    const qint64 limit = TPop3Reply::RetrLimit(listed);
    FUZZ_CHECK(limit >= 1024 * 1024);
    bool sized = false;
    const qint64 asNumber = listed.toLongLong(&sized);
    if (sized && asNumber >= 0 && asNumber <= 0x7fffffff && listed == QByteArray::number(asNumber)) {
        // Room for the listed size however the server counted its line ends.
        FUZZ_CHECK(limit >= asNumber * 2);
    }

    FUZZ_CHECK(TPop3Reply::HasLineBreak(buffer) == (buffer.contains('\r') || buffer.contains('\n')));
    const qsizetype space = buffer.indexOf(' ');
    const QByteArray verb = (space < 0 ? buffer : buffer.left(space)).toUpper();
    FUZZ_CHECK(TPop3Reply::IsMultiLine(buffer) == (verb == "RETR" || verb == "TOP"));

    // The shown body is the part after the first blank line, cut after the terminator.
    const QByteArray body = TPop3Reply::BodyOnly(buffer);
    const qsizetype blank = buffer.indexOf("\r\n\r\n");
    if (blank < 0) {
        FUZZ_CHECK(body == buffer);
    } else {
        FUZZ_CHECK(buffer.mid(blank + 4).startsWith(body));
        FUZZ_CHECK(body.count("\r\n.\r\n") <= 1 && (!body.contains("\r\n.\r\n") || body.endsWith("\r\n.\r\n")));
    }
    return 0;
}
