#pragma once

#include "localisation/Language.h"

#include <QFont>

// Conversions between the stored font record and a widget font. A face that is not installed is
// left to Qt's substitution; heights and weights out of any usable range are clamped.
QFont ToQFont(const LogFont &logFont);
LogFont FromQFont(const QFont &font);
