#pragma once
#include <QString>
#include <QStringList>

class QWidget;

// Each function renders its controls as PNG files into dir and returns the
// names of the files it wrote.
QStringList renderPanelControls(const QString &dir);
QStringList renderSpareControls(const QString &dir);

// Writes a picture of w as dir/name (PNG) and adds name to written; false
// when the file cannot be written.
bool Save(QWidget &w, const QString &dir, const QString &name, QStringList &written);
