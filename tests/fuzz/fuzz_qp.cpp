// Quoted-printable decoding: whatever a mail program encodes decodes to the same bytes,
// and in any body only "=" sequences change.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TMessageDecoder.h"

namespace {

int hexValue(char c)
{
    return c >= '0' && c <= '9'     ? c - '0'
           : (c >= 'A' && c <= 'F') ? c - 'A' + 10
           : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                    : -1;
}

// The plain reading of a body whose every "=" starts a hex pair or a soft line break;
// false for any other body.
bool wellFormed(const QByteArray& body, QByteArray& decoded)
{
    decoded.clear();
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body.at(i) != '=') {
            decoded += body.at(i);
        } else if (body.mid(i + 1, 2) == "\r\n") {
            i += 2;
        } else if (i + 2 < body.size() && hexValue(body.at(i + 1)) >= 0 && hexValue(body.at(i + 2)) >= 0) {
            decoded += static_cast<char>(hexValue(body.at(i + 1)) * 16 + hexValue(body.at(i + 2)));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// A body opening with "=" gains a first line holding one blank.
QByteArray expectedFor(const QByteArray& body, const QByteArray& decoded)
{
    return body.startsWith('=') ? " \r\n" + decoded : decoded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    const QByteArray encoded = fuzz::encodeQuotedPrintable(input);
    FUZZ_CHECK(TMessageDecoder::DecodeQuotedPrintable(encoded) == expectedFor(encoded, input));
    const QByteArray header = "+OK 99 octets\r\nSubject: t\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    FUZZ_CHECK(TMessageDecoder::DecodeMessage(QStringLiteral("QP"), header + encoded + "\r\n.\r\n") ==
               header + expectedFor(encoded, input) + "\r\n.\r\n");

    const QByteArray decoded = TMessageDecoder::DecodeQuotedPrintable(input);
    FUZZ_CHECK(decoded.size() <= input.size() + 4);
    QByteArray plain;
    if (wellFormed(input, plain)) {
        FUZZ_CHECK(decoded == expectedFor(input, plain));
    }
    return 0;
}
