// The settings file reader on any text, then a write and a re-read: the
// value written reads back, and every other key keeps its value.

#include "platform/IniFile.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <unistd.h>

namespace {

struct Key {
    const char *section, *name;
};
const Key kKeys[] = {{"MidiDevices", "Input"}, {"MidiDevices", "Output"}, {"MidiDevices", "CtrlInput"},
                     {"MidiDevices", "CtrlOutput"}, {"DWSynth", "MidiChan"}, {"Donate", "Button"}};

const QString &FilePath()
{
    static const QString path = [] {
        const QString dir = QDir::temp().filePath(QStringLiteral("tavrelk-fuzz-settings-%1").arg(getpid()));
        QDir().mkpath(dir);
        return QDir(dir).filePath(QStringLiteral("tavrelk.INI"));
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first byte picks the key to write, the next ones up to a 0 byte are its value.
    const Key &target = kKeys[data[0] % 6];
    std::size_t v = 1;
    QByteArray valueBytes;
    while (v < size && data[v] != 0) {
        if (data[v] != '\r' && data[v] != '\n')
            valueBytes += char(data[v]);
        ++v;
    }
    const QString value = QString::fromUtf8(valueBytes).trimmed();
    const QByteArray content(reinterpret_cast<const char *>(data + std::min(v + 1, size)),
                             qsizetype(size - std::min(v + 1, size)));
    {
        QFile f(FilePath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
            std::abort();
    }

    TIniFile ini(FilePath());
    QString before[6];
    for (int i = 0; i < 6; ++i) {
        before[i] = ini.ReadString(kKeys[i].section, kKeys[i].name, QStringLiteral("<none>"));
        ini.ReadInteger(kKeys[i].section, kKeys[i].name, -1);
        ini.ReadBool(kKeys[i].section, kKeys[i].name, true);
    }
    ini.WriteString(target.section, target.name, value);
    if (ini.ReadString(target.section, target.name, QStringLiteral("<none>")) != value)
        std::abort();
    for (int i = 0; i < 6; ++i) {
        if (&kKeys[i] != &target &&
            ini.ReadString(kKeys[i].section, kKeys[i].name, QStringLiteral("<none>")) != before[i])
            std::abort();
    }
    return 0;
}
