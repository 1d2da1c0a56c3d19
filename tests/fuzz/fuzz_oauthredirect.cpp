// The loopback listener's request reader: any bytes give one of its kinds, a request
// still arriving is never taken for a redirect, and any code and state come back exactly.

#include "auth/TOAuthRedirect.h"
#include "fuzz/FuzzSupport.h"

using Kind = TOAuthRedirect::Kind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const TOAuthRedirect any = TOAuthRedirect::Parse(input);
    if (any.Type == Kind::Incomplete) {
        FUZZ_CHECK(input.size() <= TOAuthRedirect::MaxRequest);
    }
    if (any.Type == Kind::Redirect) {
        const qsizetype lineEnd = input.indexOf('\n');
        FUZZ_CHECK(lineEnd > 0 && input.left(lineEnd).trimmed().startsWith("GET /"));
        FUZZ_CHECK(input.contains("\r\n\r\n") || input.contains("\n\n"));
    }

    fuzz::Reader reader(input);
    const quint8 cut = reader.byte();
    const QByteArray code = reader.take(reader.byte());
    const QByteArray state = reader.rest();
    const QByteArray request = "GET /?state=" + state.toPercentEncoding() +
                               "&scope=a+b&code=" + code.toPercentEncoding() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (request.size() > TOAuthRedirect::MaxRequest) {
        return 0;
    }
    const TOAuthRedirect redirect = TOAuthRedirect::Parse(request);
    FUZZ_CHECK(redirect.Type == Kind::Redirect);
    FUZZ_CHECK(redirect.Code == code && redirect.State == state && redirect.HasState && !redirect.HasError);
    // Cut short anywhere before its end, the same request is still awaited.
    const QByteArray partial = request.left(request.size() - 1 - cut % request.size());
    FUZZ_CHECK(TOAuthRedirect::Parse(partial).Type == Kind::Incomplete);
    return 0;
}
