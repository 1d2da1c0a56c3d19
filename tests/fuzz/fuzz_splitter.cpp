// The splitter against QString::split: leftmost delimiters, empty pieces kept or
// dropped, an empty delimiter leaves the text whole.
// Input: delimiter length (0 to 3), delimiter, text; all as UTF-8.

#include "core/TBrkApart.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Reader reader(fuzz::bytes(data, size));
    const QByteArray delimiter = reader.take(reader.byte() % 4);
    TBrkApart splitter;
    splitter.BreakString = QString::fromUtf8(delimiter);
    splitter.BaseString = QString::fromUtf8(reader.rest());

    for (const bool allowEmpty : {true, false}) {
        splitter.AllowEmptyString = allowEmpty;
        splitter.Split();
        QStringList expected;
        if (splitter.BreakString.isEmpty()) {
            if (allowEmpty || !splitter.BaseString.isEmpty()) {
                expected.append(splitter.BaseString);
            }
        } else {
            expected =
                splitter.BaseString.split(splitter.BreakString, allowEmpty ? Qt::KeepEmptyParts : Qt::SkipEmptyParts);
        }
        FUZZ_CHECK(splitter.StringList == expected);
        if (allowEmpty && !splitter.BreakString.isEmpty()) {
            FUZZ_CHECK(splitter.StringList.join(splitter.BreakString) == splitter.BaseString);
        }
    }
    return 0;
}
