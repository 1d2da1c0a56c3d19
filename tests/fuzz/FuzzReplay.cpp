// Feeds saved inputs to a fuzz target's entry point, for builds without libFuzzer.
// Arguments are folders (every file in name order) or single files; README files are notes.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const QFileInfo& info, int& count)
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(info.filePath()));
        return false;
    }
    const QByteArray data = file.readAll();
    // Printed first: a failed property aborts, and the last name shows the culprit.
    std::printf("%s\n", qPrintable(info.filePath()));
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()));
    ++count;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo arg(QString::fromLocal8Bit(argv[i]));
        if (arg.isFile()) {
            ok = replay(arg, count) && ok;
            continue;
        }
        // A target without saved crashes has no crash folder.
        const auto files = QDir(arg.filePath()).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo& info : files) {
            if (!info.fileName().startsWith(QLatin1String("README"))) {
                ok = replay(info, count) && ok;
            }
        }
    }
    std::printf("%d inputs replayed\n", count);
    // An empty or missing corpus must not pass as a clean run.
    return ok && count > 0 ? 0 : 1;
}
