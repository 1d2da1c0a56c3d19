// The readable view of a message: whatever the bytes, it is valid UTF-16 without control
// characters but line ends and tabs, bounded by the input's size, the same whether the
// message came as it is or dot-stuffed in a RETR reply, and every listed attachment
// saves exactly as many bytes as its listed size, under a name that is no path and no
// hidden file.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TMimeMessage.h"

namespace {

void checkText(const QString& text, bool oneLine)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        FUZZ_CHECK(c.unicode() >= 0x20 || c == QLatin1Char('\t') || (!oneLine && c == QLatin1Char('\n')));
        FUZZ_CHECK(c.unicode() != 0x7f);
        if (c.isHighSurrogate()) {
            FUZZ_CHECK(i + 1 < text.size() && text.at(i + 1).isLowSurrogate());
            ++i;
        } else {
            FUZZ_CHECK(!c.isLowSurrogate());
        }
    }
}

QByteArray retrReply(const QByteArray& message)
{
    QByteArray stuffed = message;
    if (stuffed.startsWith('.')) {
        stuffed.prepend('.');
    }
    stuffed.replace("\n.", "\n..");
    return "+OK\r\n" + stuffed + ".\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const TMimeMessage message(input);
    const QString text = message.Text(true);
    checkText(text, false);
    // Decoding never makes more text than a few characters per input byte.
    FUZZ_CHECK(text.size() <= 16 * input.size() + 1024);
    for (const QString& line : {message.From(), message.To(), message.Date(), message.Subject()}) {
        checkText(line, true);
    }

    const QList<TMimeAttachment>& attachments = message.Attachments();
    for (int i = 0; i < attachments.size() && i < 8; ++i) {
        checkText(attachments[i].FileName, true);
        FUZZ_CHECK(!attachments[i].FileName.isEmpty() && !attachments[i].FileName.contains(QLatin1Char('/')));
        FUZZ_CHECK(!attachments[i].FileName.startsWith(QLatin1Char('.')));
        FUZZ_CHECK(message.AttachmentData(i).size() == attachments[i].Size);
    }

    if (input.endsWith('\n')) {
        const TMimeMessage fromReply(retrReply(input), TMimeMessage::Source::Pop3Reply);
        FUZZ_CHECK(fromReply.Text(true) == text);
    }

    const QByteArray value = input.left(2048);
    checkText(TMimeMessage::HeaderText(value, input), true);
    return 0;
}
