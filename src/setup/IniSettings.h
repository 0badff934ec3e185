#pragma once
// The settings file as the editor sees it: TSettings over a TIniFile.
// Thread: the user-interface thread.

#include "engine/Settings.h"
#include "setup/IniFile.h"

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
        FFile.WriteString(section, key, value);
    }
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const override
    {
        return FFile.ReadInteger(section, key, defaultValue);
    }
    void WriteInteger(const QString &section, const QString &key, int value) override
    {
        FFile.WriteInteger(section, key, value);
    }
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const override
    {
        return FFile.ReadBool(section, key, defaultValue);
    }
    void WriteBool(const QString &section, const QString &key, bool value) override
    {
        FFile.WriteBool(section, key, value);
    }

private:
    TIniFile FFile;
};
