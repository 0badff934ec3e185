#include "Gallery.h"

QStringList renderPanelControls(const QString &) { return {}; }
