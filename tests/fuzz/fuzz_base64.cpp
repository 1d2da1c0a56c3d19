// Base64 decoding: encoded bytes come back, and characters outside the alphabet are
// skipped without taking others with them.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TMessageDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const QByteArray terminator = "\r\n.\r\n";

    const QByteArray encoded = fuzz::encodeBase64(input);
    FUZZ_CHECK(TMessageDecoder::DecodeBase64(encoded) == input + terminator);
    const QByteArray header = "+OK 99 octets\r\nSubject: t\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    FUZZ_CHECK(TMessageDecoder::DecodeMessage(QStringLiteral("BASE64"), header + encoded + terminator) ==
               header + input + terminator);

    const QByteArray decoded = TMessageDecoder::DecodeBase64(input);
    FUZZ_CHECK(decoded.endsWith(terminator));
    QByteArray alphabet;
    for (const char c : input) {
        if (c == '=') {
            break;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/') {
            alphabet += c;
        }
    }
    FUZZ_CHECK(decoded.size() - terminator.size() == alphabet.size() * 3 / 4);
    FUZZ_CHECK(TMessageDecoder::DecodeBase64(alphabet) == decoded);
    FUZZ_CHECK(alphabet.size() % 4 == 1 || QByteArray::fromBase64(alphabet) + terminator == decoded);
    return 0;
}
