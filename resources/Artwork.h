#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QPixmap>

// The program's icons, cursor, hover sound and background tile, drawn at run time so no binary
// artwork lives in the repository. Numbers are the resource numbers the windows ask for.
namespace artwork {

enum : int {
    IconApplication = 128, // also the Convert button
    BitmapBackground = 139,
    IconOpen = 140,
    CursorHand = 141,
    SoundHover = 144,
    IconOptions = 146,
    IconHelp = 148,
    IconAbout = 156,
    IconHomepage = 158,
    IconExit = 159,
    IconStop = 160, // the Convert button while a conversion runs
};

QIcon Icon(int number);
QPixmap Bitmap(int number);
QCursor Cursor(int number);
// A complete RIFF/WAVE file; empty for an unknown number.
QByteArray Sound(int number);

} // namespace artwork
