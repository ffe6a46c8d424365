#pragma once

#include "localisation/Language.h"

#include <QFont>

// Conversions between the stored font record and a widget font. A face that is not installed is
// left to Qt's substitution; heights and weights out of any usable range are clamped.
QFont ToQFont(const LogFont &logFont);
LogFont FromQFont(const QFont &font);
// The interface font as a widget font; the default font when the catalogue holds none.
QFont InterfaceQFont(const CLanguage &language);

class QWidget;

// The Font command: the platform's font chooser opened on the interface font; a confirmed choice
// becomes the interface font, is stored for the current language and is put on the main window
// (dialogNumber). Returns false when the user cancels, and nothing changes then.
bool OnFont(QWidget *mainWindow, int dialogNumber);
bool OnFont(QWidget *mainWindow, int dialogNumber, CLanguage &language);
