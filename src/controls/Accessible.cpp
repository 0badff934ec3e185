#include "controls/Accessible.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

int &QuietDepth()
{
    static int depth = 0;
    return depth;
}

// The control is looked up on every call: during the widget's destruction it
// is no longer a TAccessibleValue, and the interface answers as a bare widget.
class TAccessibleControl : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    TAccessibleControl(QWidget *w, QAccessible::Role role) : QAccessibleWidget(w, role) {}

    QString text(QAccessible::Text t) const override
    {
        const TAccessibleValue *v = Value();
        if (v != nullptr && t == QAccessible::Value)
            return v->AccessibleValueText();
        if (v != nullptr && t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return v->DefaultAccessibleName();
        return QAccessibleWidget::text(t);
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        const TAccessibleValue *v = Value();
        if (type == QAccessible::ValueInterface && v != nullptr && v->HasAccessibleRange())
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return Value() ? Value()->AccessibleCurrent() : 0; }
    void setCurrentValue(const QVariant &value) override
    {
        if (TAccessibleValue *v = Value())
            v->SetAccessibleCurrent(value.toInt());
    }
    QVariant maximumValue() const override { return Value() ? Value()->AccessibleMaximum() : 0; }
    QVariant minimumValue() const override { return Value() ? Value()->AccessibleMinimum() : 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    TAccessibleValue *Value() const { return dynamic_cast<TAccessibleValue *>(widget()); }
};

QAccessibleInterface *ControlFactory(const QString &, QObject *object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto *value = dynamic_cast<TAccessibleValue *>(object);
    return value != nullptr ? new TAccessibleControl(static_cast<QWidget *>(object), value->AccessibleRole())
                            : nullptr;
}

} // namespace

void TAccessibleValue::AnnounceValueChange(QWidget *control) const
{
    // Qt itself drops the event cheaply when no assistive tool listens.
    if (TQuietAccessibility::Quiet())
        return;
    const QVariant value =
        HasAccessibleRange() ? QVariant(AccessibleCurrent()) : QVariant(AccessibleValueText());
    QAccessibleValueChangeEvent event(control, value);
    QAccessible::updateAccessibility(&event);
}

void InstallAccessibleFactory()
{
    // Installed after the application's own factories, so asked first.
    static const bool installed = [] {
        QAccessible::installFactory(ControlFactory);
        return true;
    }();
    (void)installed;
}

TQuietAccessibility::TQuietAccessibility() { ++QuietDepth(); }
TQuietAccessibility::~TQuietAccessibility() { --QuietDepth(); }
bool TQuietAccessibility::Quiet() { return QuietDepth() > 0; }
