#pragma once
// What the editor needs of its settings file: text, integers and flags by
// section and key, each write going to the file at once. TIniSettings
// (engine/IniSettings.h) implements it over the settings file; the session
// (TSession) owns the one instance and lends it to the windows and the bank
// tool.
// Thread: the user-interface thread.

#include <QString>

class TSettings {
public:
    virtual ~TSettings() = default;
    virtual QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const = 0;
    virtual void WriteString(const QString &section, const QString &key, const QString &value) = 0;
    virtual int ReadInteger(const QString &section, const QString &key, int defaultValue) const = 0;
    virtual void WriteInteger(const QString &section, const QString &key, int value) = 0;
    virtual bool ReadBool(const QString &section, const QString &key, bool defaultValue) const = 0;
    virtual void WriteBool(const QString &section, const QString &key, bool value) = 0;
};

// Every section and key of the settings file, in one place.
namespace settingskeys {
inline const QString Devices = QStringLiteral("MidiDevices");
inline const QString SynthInput = QStringLiteral("Input");
inline const QString SynthOutput = QStringLiteral("Output");
inline const QString CtrlInput = QStringLiteral("CtrlInput");
inline const QString CtrlOutput = QStringLiteral("CtrlOutput");
inline const QString NoDevice = QStringLiteral("None");
inline const QString Synth = QStringLiteral("DWSynth");
inline const QString Channel = QStringLiteral("MidiChan");
inline const QString Donate = QStringLiteral("Donate");
inline const QString DonateButton = QStringLiteral("Button");
inline const QString Library = QStringLiteral("Library");
inline const QString LibraryFolder = QStringLiteral("Folder"); // the folder of the last patch or bank file
inline const QString Locks = QStringLiteral("Locks");
inline const QString LockedRows = QStringLiteral("Rows"); // the locked parameter numbers, "15,20,36"
} // namespace settingskeys
