// The header cache file: read as it is, and read again sealed with a correct digest so that
// the entry lines themselves are parsed. Whatever reads must write back the same text.
// Input: the file's bytes.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TUidlCache.h"

#include <QCryptographicHash>

namespace {

const QByteArray kKey = TUidlCache::Key(QStringLiteral("box"), QStringLiteral("127.0.0.1"), QStringLiteral("u"));

void readBack(const QByteArray& text)
{
    TUidlCache cache;
    if (!cache.Parse(text, kKey)) {
        FUZZ_CHECK(cache.Count() == 0);
        return;
    }
    for (const QByteArray& uid : cache.Uids()) {
        FUZZ_CHECK(TUidlCache::ValidUid(uid));
        FUZZ_CHECK(cache.Find(uid) != nullptr);
    }
    // A file that reads is the one this program writes for its entries.
    FUZZ_CHECK(cache.Serialize(kKey) == text);
    TUidlCache again;
    FUZZ_CHECK(again.Parse(cache.Serialize(kKey), kKey) && again.Uids() == cache.Uids());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    readBack(input);
    const QByteArray body = input.endsWith('\n') || input.isEmpty() ? input : input + '\n';
    readBack(body + "S " + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n');

    // The same bytes as a UIDL reply.
    QHash<int, QByteArray> uids;
    if (TUidlCache::UidList(input, 1000, uids)) {
        QSet<QByteArray> distinct;
        for (auto it = uids.constBegin(); it != uids.constEnd(); ++it) {
            FUZZ_CHECK(it.key() >= 1 && it.key() <= 1000 && TUidlCache::ValidUid(it.value()));
            distinct.insert(it.value());
        }
        FUZZ_CHECK(distinct.size() == uids.size());
    }
    return 0;
}
