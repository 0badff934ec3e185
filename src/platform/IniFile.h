#pragma once
// The settings file: a small INI reader and writer.
//
// Sections and keys match regardless of letter case and of blanks around
// them; a value is the text after the equals sign to the end of the line,
// without blanks at either end, never quoted. A UTF-8 byte-order mark at the
// start of the file is accepted and kept; new files get none. Every read
// looks at the file as it is on disk, every write goes to disk at once by
// writing a temporary file in the same folder and renaming it over the old
// one, so a failed write leaves the previous file as it was. Lines the class
// does not understand (comments, other sections and keys) are kept as they
// are, byte for byte.
//
// Thread: one TIniFile belongs to the user-interface thread; the object has
// no shared state, so separate objects may be used from separate threads.

#include <QString>

#include <optional>
#include <stdexcept>
#include <string>

// Raised when the file system refuses a write; the text is
// "Unable to write to <full path>".
class EIniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TIniFile {
public:
    // fileName may be relative; it is made absolute at once so that a later
    // change of the current directory does not move the file.
    explicit TIniFile(const QString &fileName);

    const QString &FileName() const { return FFileName; }

    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    void WriteString(const QString &section, const QString &key, const QString &value);

    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives the default.
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const;
    void WriteInteger(const QString &section, const QString &key, int value);

    // Written "1"/"0"; any non-zero integer reads true.
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const;
    void WriteBool(const QString &section, const QString &key, bool value);

private:
    QString FFileName;
};

// The integer rule of the settings file, on its own: std::nullopt when the
// text is not a 32-bit integer.
std::optional<int> ParseIniInteger(const QString &text);

// The executable's path with its extension replaced by ".INI"
// ("/opt/tavrelk/tavrelk" -> "/opt/tavrelk/tavrelk.INI").
QString IniFileNameForExecutable(const QString &executablePath);

// Where the settings file lives: beside the executable when that folder can be
// written, otherwise the same file name in userConfigDir.
QString ChooseSettingsFilePath(const QString &executablePath, bool executableFolderWritable,
                               const QString &userConfigDir);

// ChooseSettingsFilePath with the folder actually tried and the per-user
// folder ($XDG_CONFIG_HOME/tavrelk, usually ~/.config/tavrelk) created when it
// is the one chosen.
QString SettingsFilePath(const QString &executablePath);
