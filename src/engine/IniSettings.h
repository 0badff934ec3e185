#pragma once
// The settings file as the editor sees it: TSettings over a TIniFile.
// A refused write raises EIniFileError the first time; while the file keeps
// refusing, the later writes raise EAlreadyReported with the same text, so
// the user hears of it once and not at every step of a start or an exit.
// Thread: the user-interface thread.

#include "engine/Settings.h"
#include "platform/AlreadyReported.h"
#include "platform/IniFile.h"

class TIniSettings : public TSettings {
public:
    explicit TIniSettings(const QString &fileName) : FFile(fileName) {}
    const QString &FileName() const { return FFile.FileName(); }

    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const override
    {
        return FFile.ReadString(section, key, defaultValue);
    }
    void WriteString(const QString &section, const QString &key, const QString &value) override
    {
        Write([&] { FFile.WriteString(section, key, value); });
    }
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const override
    {
        return FFile.ReadInteger(section, key, defaultValue);
    }
    void WriteInteger(const QString &section, const QString &key, int value) override
    {
        Write([&] { FFile.WriteInteger(section, key, value); });
    }
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const override
    {
        return FFile.ReadBool(section, key, defaultValue);
    }
    void WriteBool(const QString &section, const QString &key, bool value) override
    {
        Write([&] { FFile.WriteBool(section, key, value); });
    }

private:
    template <typename F> void Write(F &&write)
    {
        try {
            write();
            FRefusing = false;
        } catch (const EIniFileError &e) {
            if (FRefusing)
                throw EAlreadyReported(e.what());
            FRefusing = true;
            throw;
        }
    }

    TIniFile FFile;
    bool FRefusing = false;
};
