#pragma once
#include <QString>
#include <QStringList>

// Each function renders its controls as PNG files into dir and returns the
// names of the files it wrote.
QStringList renderPanelControls(const QString &dir);
QStringList renderSpareControls(const QString &dir);
