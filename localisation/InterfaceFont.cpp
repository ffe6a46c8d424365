#include "localisation/InterfaceFont.h"

#include "localisation/DialogLanguage.h"
#include "platform/Choosers.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// Beyond this a stored height is damage, not a wish: glyphs that large would only exhaust memory.
constexpr int kMaxPixelSize = 512;
constexpr int kMaxStretch = 4000;

// Pitch and family byte: low two bits pitch, bits 4-7 the family.
constexpr int kFixedPitch = 1;
constexpr int kFamilyRoman = 0x10;
constexpr int kFamilySwiss = 0x20;
constexpr int kFamilyModern = 0x30;
constexpr int kFamilyScript = 0x40;
constexpr int kFamilyDecorative = 0x50;
constexpr int kNonAntialiasedQuality = 3;
constexpr int kAntialiasedQuality = 4;

int ClampPixels(long long pixels)
{
    return static_cast<int>(std::clamp<long long>(pixels, 1, kMaxPixelSize));
}

double LogicalDpi()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchY();
    return 96.0;
}

} // namespace

QFont ToQFont(const LogFont &logFont)
{
    QFont font;
    if (!logFont.lfFaceName.empty())
        font.setFamilies({QString::fromStdString(logFont.lfFaceName)});

    switch (logFont.lfPitchAndFamily & 0xF0) {
    case kFamilyRoman:
        font.setStyleHint(QFont::Serif);
        break;
    case kFamilySwiss:
        font.setStyleHint(QFont::SansSerif);
        break;
    case kFamilyModern:
        font.setStyleHint(QFont::Monospace);
        break;
    case kFamilyScript:
        font.setStyleHint(QFont::Cursive);
        break;
    case kFamilyDecorative:
        font.setStyleHint(QFont::Decorative);
        break;
    default:
        break;
    }
    if ((logFont.lfPitchAndFamily & 0x03) == kFixedPitch)
        font.setFixedPitch(true);

    // Negative: character height in pixels. Positive: cell height, which includes the internal
    // leading, so shrink the size until the line height matches.
    const long long height = logFont.lfHeight;
    if (height < 0) {
        font.setPixelSize(ClampPixels(-height));
    } else if (height > 0) {
        const int cell = ClampPixels(height);
        font.setPixelSize(cell);
        const int lineHeight = QFontMetrics(font).height();
        if (lineHeight > cell)
            font.setPixelSize(ClampPixels(std::lround(double(cell) * cell / lineHeight)));
    }

    if (logFont.lfWeight > 0)
        font.setWeight(static_cast<QFont::Weight>(std::clamp(logFont.lfWeight, 1, 1000)));
    font.setItalic(logFont.lfItalic != 0);
    font.setUnderline(logFont.lfUnderline != 0);
    font.setStrikeOut(logFont.lfStrikeOut != 0);
    if (logFont.lfQuality == kAntialiasedQuality)
        font.setStyleStrategy(QFont::PreferAntialias);
    else if (logFont.lfQuality == kNonAntialiasedQuality)
        font.setStyleStrategy(QFont::NoAntialias);

    if (logFont.lfWidth > 0) {
        const int average = QFontMetrics(font).averageCharWidth();
        if (average > 0) {
            const long long stretch = 100LL * logFont.lfWidth / average;
            font.setStretch(static_cast<int>(std::clamp<long long>(stretch, 1, kMaxStretch)));
        }
    }
    return font;
}

LogFont FromQFont(const QFont &font)
{
    LogFont logFont;
    if (font.pixelSize() > 0)
        logFont.lfHeight = -font.pixelSize();
    else if (font.pointSizeF() > 0)
        logFont.lfHeight = -static_cast<int>(std::lround(font.pointSizeF() * LogicalDpi() / 72.0));
    else
        logFont.lfHeight = 0;
    logFont.lfWidth = 0;
    logFont.lfEscapement = 0;
    logFont.lfOrientation = 0;
    logFont.lfWeight = font.weight();
    logFont.lfItalic = font.italic() ? 1 : 0;
    logFont.lfUnderline = font.underline() ? 1 : 0;
    logFont.lfStrikeOut = font.strikeOut() ? 1 : 0;
    logFont.lfCharSet = 1;
    logFont.lfOutPrecision = 0;
    logFont.lfClipPrecision = 0;
    logFont.lfQuality = 0;
    if (font.styleStrategy() & QFont::NoAntialias)
        logFont.lfQuality = kNonAntialiasedQuality;
    else if (font.styleStrategy() & QFont::PreferAntialias)
        logFont.lfQuality = kAntialiasedQuality;

    int family = 0;
    switch (font.styleHint()) {
    case QFont::Serif:
        family = kFamilyRoman;
        break;
    case QFont::SansSerif:
        family = kFamilySwiss;
        break;
    case QFont::Monospace:
        family = kFamilyModern;
        break;
    case QFont::Cursive:
        family = kFamilyScript;
        break;
    case QFont::Decorative:
        family = kFamilyDecorative;
        break;
    default:
        break;
    }
    logFont.lfPitchAndFamily
        = static_cast<unsigned char>(family | (font.fixedPitch() ? kFixedPitch : 0));

    // The record holds at most 31 bytes of face name; cut on a character boundary.
    std::string face = font.family().toStdString();
    if (face.size() > 31) {
        std::size_t cut = 31;
        while (cut > 0 && (static_cast<unsigned char>(face[cut]) & 0xC0) == 0x80)
            --cut;
        face.resize(cut);
    }
    logFont.lfFaceName = face;
    return logFont;
}

QFont InterfaceQFont(const CLanguage &language)
{
    return language.HasInterfaceFont() ? ToQFont(language.GetInterfaceFont()) : QFont();
}

bool OnFont(QWidget *mainWindow, int dialogNumber)
{
    return OnFont(mainWindow, dialogNumber, CLanguage::Instance());
}

bool OnFont(QWidget *mainWindow, int dialogNumber, CLanguage &language)
{
    const LogFont current = language.HasInterfaceFont() ? language.GetInterfaceFont() : LogFont();
    platform::FontRequest request;
    request.initialFont = ToQFont(current).toString().toStdString();
    request.screenFonts = true;
    request.effects = true;
    const std::optional<std::string> chosen = platform::ChooseFont(request);
    if (!chosen || chosen->empty())
        return false;
    QFont font;
    if (!font.fromString(QString::fromStdString(*chosen)))
        return false;
    // Saving also makes the record the catalogue's interface font.
    language.SaveInterfaceFont(FromQFont(font));
    ApplyToDialog(mainWindow, dialogNumber, language);
    return true;
}
