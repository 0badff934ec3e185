#pragma once
// What the custom controls tell assistive tools (screen readers): a name, a
// role, their value as text and, where the value is one number in a range,
// that number through Qt's value interface. A change of value is announced
// with a QAccessibleValueChangeEvent, except while a TQuietAccessibility
// lives (a whole patch arriving at once would be fifty announcements).
//
// Threads: the user-interface thread only.

#include <QAccessible>
#include <QString>
#include <QVariant>

#include <functional>

class QWidget;

// Mixed into each custom control. The name is the widget's accessibleName()
// (its client sets it, e.g. "VCF envelope"), else DefaultAccessibleName().
class TAccessibleValue {
public:
    virtual ~TAccessibleValue() = default;

    virtual QAccessible::Role AccessibleRole() const = 0;
    // The value in words: the client's wording when it set one, else the
    // control's own.
    QString AccessibleValueText() const { return FValueText ? FValueText() : DefaultAccessibleValueText(); }
    // Replaces the control's wording of its value (for example the name of a
    // waveform instead of a picture number); an empty function restores it.
    void SetAccessibleValueText(std::function<QString()> text) { FValueText = std::move(text); }

    // A single number in a range, for the value interface: false for the
    // graphs, whose value is several numbers.
    virtual bool HasAccessibleRange() const { return false; }
    virtual int AccessibleCurrent() const { return 0; }
    virtual int AccessibleMinimum() const { return 0; }
    virtual int AccessibleMaximum() const { return 0; }
    // An assistive tool sets the value: as the user would, by default not at all.
    virtual void SetAccessibleCurrent(int) {}

    virtual QString DefaultAccessibleName() const { return {}; }

protected:
    virtual QString DefaultAccessibleValueText() const = 0;

    // Tells assistive tools that the value changed (nothing while quiet, or
    // while no assistive tool listens). Call from the control, after the change.
    void AnnounceValueChange(QWidget *control) const;

private:
    std::function<QString()> FValueText;
};

// Lets Qt build the interfaces of the TAccessibleValue controls. Each
// control's constructor calls it; only the first call installs.
void InstallAccessibleFactory();

// While one lives, value changes are not announced; they nest.
class TQuietAccessibility {
public:
    TQuietAccessibility();
    ~TQuietAccessibility();
    TQuietAccessibility(const TQuietAccessibility &) = delete;
    TQuietAccessibility &operator=(const TQuietAccessibility &) = delete;
    static bool Quiet();
};
