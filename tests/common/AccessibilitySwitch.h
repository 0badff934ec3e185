#pragma once
// Switches Qt's accessibility on for a test, as a screen reader's bridge
// would, so that QAccessible::updateAccessibility delivers events to the
// update handler a test installs. Qt keeps the switch in its platform
// layer, whose headers are not installed: the two functions used here are
// declared by hand. Only for the offscreen platform, which keeps Qt's own
// switch (it has no accessibility bridge of its own).

#include <QAccessible>
#include <QGuiApplication>

class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility *accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration *platform_integration;
};

// False when the platform is not the offscreen one (nothing is switched).
inline bool SetAccessibilityActive(bool on)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        return false;
    QGuiApplicationPrivate::platform_integration->accessibility()->setActive(on);
    return QAccessible::isActive() == on;
}
