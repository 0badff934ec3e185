#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cctype>
#include <limits>
#include <vector>

namespace {

// The file as lines split at '\n' (a CR before it stays in the line), so
// untouched lines are written back byte for byte.
struct IniDocument {
    std::vector<QByteArray> Lines;
    bool Crlf = false;  // new lines follow the first line's ending
    // Other editors may start the file with a UTF-8 byte-order mark; it is
    // not part of the first line, and a rewrite puts it back where it was.
    bool Bom = false;

    QByteArray NewLine(const QByteArray &text) const { return Crlf ? text + '\r' : text; }
};

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

enum class ReadResult { Ok, Missing, Unreadable };

ReadResult ReadDocument(const QString &fileName, IniDocument &doc)
{
    QFile file(fileName);
    if (!file.exists())
        return ReadResult::Missing;
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadResult::Unreadable;

    doc.Lines.clear();
    doc.Bom = content.startsWith(kUtf8Bom);
    if (content.isEmpty())
        return ReadResult::Ok;
    qsizetype start = doc.Bom ? kUtf8Bom.size() : 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        doc.Lines.push_back(content.mid(start, end - start));
        start = end + 1;
    }
    doc.Crlf = !doc.Lines.empty() && doc.Lines.front().endsWith('\r');
    return ReadResult::Ok;
}

// Bytes inside a line as text. A U+FEFF that starts a value is part of it,
// not a byte-order mark (that one is stripped with the file's start).
QString LineText(const QByteArray &bytes)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decode(bytes);
}

bool SameName(const QByteArray &raw, const QString &name)
{
    return LineText(raw.trimmed()).compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line.
std::optional<QByteArray> SectionName(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return t.mid(1, close - 1);
}

bool IsComment(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    return t.startsWith(';') || t.startsWith('#');
}

// Index of the line holding the key, or -1; sectionEnd receives the index
// one past the section's last non-blank line (-1 when the section is absent).
qsizetype FindKey(const IniDocument &doc, const QString &section, const QString &key,
                  qsizetype *sectionEnd = nullptr)
{
    if (sectionEnd)
        *sectionEnd = -1;
    bool inSection = false;
    bool sectionSeen = false;
    for (qsizetype i = 0; i < qsizetype(doc.Lines.size()); ++i) {
        const QByteArray &line = doc.Lines[size_t(i)];
        if (const auto name = SectionName(line)) {
            if (sectionSeen)
                return -1;  // the first section of that name has ended; later ones are ignored
            inSection = SameName(*name, section);
            if (inSection) {
                sectionSeen = true;
                if (sectionEnd)
                    *sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!line.trimmed().isEmpty() && sectionEnd)
            *sectionEnd = i + 1;
        if (IsComment(line))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && SameName(line.left(eq), key))
            return i;
    }
    return -1;
}

std::optional<QString> FindValue(const QString &fileName, const QString &section, const QString &key)
{
    IniDocument doc;
    if (ReadDocument(fileName, doc) != ReadResult::Ok)
        return std::nullopt;
    const qsizetype at = FindKey(doc, section, key);
    if (at < 0)
        return std::nullopt;
    const QByteArray &line = doc.Lines[size_t(at)];
    return LineText(line.mid(line.indexOf('=') + 1).trimmed());
}

void SetValue(IniDocument &doc, const QString &section, const QString &key, const QByteArray &value)
{
    qsizetype sectionEnd = -1;
    const qsizetype at = FindKey(doc, section, key, &sectionEnd);
    if (at >= 0) {
        QByteArray &line = doc.Lines[size_t(at)];
        // "Key = old" becomes "Key = new": the blanks after the sign stay.
        qsizetype start = line.indexOf('=') + 1;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
            ++start;
        line = line.left(start) + value + (line.endsWith('\r') ? "\r" : "");
        return;
    }
    const QByteArray entry = doc.NewLine(key.toUtf8() + '=' + value);
    if (sectionEnd >= 0) {
        doc.Lines.insert(doc.Lines.begin() + sectionEnd, entry);
        return;
    }
    if (!doc.Lines.empty() && !doc.Lines.back().trimmed().isEmpty())
        doc.Lines.push_back(doc.NewLine({}));
    doc.Lines.push_back(doc.NewLine('[' + section.toUtf8() + ']'));
    doc.Lines.push_back(entry);
}

EIniFileError WriteError(const QString &fileName)
{
    return EIniFileError(QStringLiteral("Unable to write to %1").arg(fileName).toStdString());
}

void CheckName(const QString &name, const char *forbidden)
{
    if (name.trimmed().isEmpty())
        throw std::invalid_argument("empty settings section or key name");
    for (const char *c = forbidden; *c; ++c)
        if (name.contains(QLatin1Char(*c)))
            throw std::invalid_argument("settings section or key name with a reserved character");
}

} // namespace

TIniFile::TIniFile(const QString &fileName)
    : FFileName(QFileInfo(fileName).absoluteFilePath())
{
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
    return FindValue(FFileName, section, key).value_or(defaultValue);
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    CheckName(section, "[]\r\n");
    CheckName(key, "=[\r\n");

    IniDocument doc;
    // A file that exists but cannot be read is not replaced: its content
    // would be lost.
    if (ReadDocument(FFileName, doc) == ReadResult::Unreadable)
        throw WriteError(FFileName);

    // A line break would end the value early and turn the rest into a line of
    // its own (possibly another key).
    QByteArray bytes = value.toUtf8();
    bytes.replace('\r', ' ').replace('\n', ' ');
    SetValue(doc, section, key, bytes);

    QByteArray content = doc.Bom ? kUtf8Bom : QByteArray();
    for (const QByteArray &line : doc.Lines)
        content += line + '\n';

    QSaveFile file(FFileName);
    // The explicit flush matters: commit() alone renames a file whose buffered
    // tail could not be written (full disk).
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.flush()
        || !file.commit())
        throw WriteError(FFileName);
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const
{
    const auto text = FindValue(FFileName, section, key);
    if (!text)
        return defaultValue;
    return ParseIniInteger(*text).value_or(defaultValue);
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

std::optional<int> ParseIniInteger(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QString digits = t.mid(2);
        // toUInt would also take a sign or blanks here; the file wants digits.
        for (const QChar c : digits)
            if (c.unicode() > 0x7F || !std::isxdigit(c.unicode()))
                return std::nullopt;
        const uint v = digits.toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        return int(v);  // 0xFFFFFFFF is -1, as a 32-bit integer written in hex
    }
    const qlonglong v = t.toLongLong(&ok, 10);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(v);
}

QString IniFileNameForExecutable(const QString &executablePath)
{
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = executablePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? executablePath.left(dot) : executablePath;
    return stem + QStringLiteral(".INI");
}

QString ChooseSettingsFilePath(const QString &executablePath, bool executableFolderWritable,
                               const QString &userConfigDir)
{
    const QString beside = IniFileNameForExecutable(executablePath);
    if (executableFolderWritable)
        return beside;
    return QDir(userConfigDir).filePath(QFileInfo(beside).fileName());
}

QString SettingsFilePath(const QString &executablePath)
{
    const QString folder = QFileInfo(executablePath).absolutePath();
    // Trying is the only sure test: permissions, read-only mounts and the
    // like all show up as a failed create.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tavrelk-probe-XXXXXX")));
    const bool writable = probe.open();
    probe.remove();

    const QString userDir =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
            .filePath(QStringLiteral("tavrelk"));
    const QString chosen = ChooseSettingsFilePath(QFileInfo(executablePath).absoluteFilePath(),
                                                  writable, userDir);
    if (!writable)
        QDir().mkpath(userDir);
    return chosen;
}
