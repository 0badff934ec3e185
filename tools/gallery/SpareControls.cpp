#include "Gallery.h"

QStringList renderSpareControls(const QString &) { return {}; }
