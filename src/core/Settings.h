#pragma once
// What the editor needs of its settings file: text, integers and flags by
// section and key, each write going to the file at once. The settings file
// of the setup layer implements it; the main window owns the one instance
// and lends it to the setup dialog.
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
