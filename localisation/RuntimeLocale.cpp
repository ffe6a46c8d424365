#include "localisation/RuntimeLocale.h"

#include "localisation/LocaleTable.h"

#include <QLoggingCategory>

#include <clocale>
#include <cstring>
#include <utility>

Q_LOGGING_CATEGORY(lcLocale, "clipwright.localisation", QtWarningMsg)

const char *IsoLanguageCode(int primary, int sub)
{
    if (primary == 0x1A) {
        // Croatian, Serbian and Bosnian share one primary identifier.
        if (sub == 0x02 || sub == 0x03 || sub == 0x06 || sub == 0x07 || sub == 0x1F)
            return "sr";
        if (sub == 0x05 || sub == 0x08)
            return "bs";
        return "hr";
    }
    if (primary == 0x2E)
        return sub == 0x02 ? "dsb" : "hsb";
    static constexpr std::pair<int, const char *> kCodes[] = {
        {0x01, "ar"},  {0x02, "bg"},  {0x03, "ca"},  {0x04, "zh"},  {0x05, "cs"},  {0x06, "da"},
        {0x07, "de"},  {0x08, "el"},  {0x09, "en"},  {0x0A, "es"},  {0x0B, "fi"},  {0x0C, "fr"},
        {0x0D, "he"},  {0x0E, "hu"},  {0x0F, "is"},  {0x10, "it"},  {0x11, "ja"},  {0x12, "ko"},
        {0x13, "nl"},  {0x14, "nb"},  {0x15, "pl"},  {0x16, "pt"},  {0x17, "rm"},  {0x18, "ro"},
        {0x19, "ru"},  {0x1B, "sk"},  {0x1C, "sq"},  {0x1D, "sv"},  {0x1E, "th"},  {0x1F, "tr"},
        {0x20, "ur"},  {0x21, "id"},  {0x22, "uk"},  {0x23, "be"},  {0x24, "sl"},  {0x25, "et"},
        {0x26, "lv"},  {0x27, "lt"},  {0x28, "tg"},  {0x29, "fa"},  {0x2A, "vi"},  {0x2B, "hy"},
        {0x2C, "az"},  {0x2D, "eu"},  {0x2F, "mk"},  {0x32, "tn"},  {0x34, "xh"},  {0x35, "zu"},
        {0x36, "af"},  {0x37, "ka"},  {0x38, "fo"},  {0x39, "hi"},  {0x3A, "mt"},  {0x3B, "se"},
        {0x3C, "ga"},  {0x3E, "ms"},  {0x3F, "kk"},  {0x40, "ky"},  {0x41, "sw"},  {0x42, "tk"},
        {0x43, "uz"},  {0x44, "tt"},  {0x45, "bn"},  {0x46, "pa"},  {0x47, "gu"},  {0x48, "or"},
        {0x49, "ta"},  {0x4A, "te"},  {0x4B, "kn"},  {0x4C, "ml"},  {0x4D, "as"},  {0x4E, "mr"},
        {0x4F, "sa"},  {0x50, "mn"},  {0x51, "bo"},  {0x52, "cy"},  {0x53, "km"},  {0x54, "lo"},
        {0x56, "gl"},  {0x57, "kok"}, {0x5A, "syr"}, {0x5B, "si"},  {0x5D, "iu"},  {0x5E, "am"},
        {0x5F, "tzm"}, {0x61, "ne"},  {0x62, "fy"},  {0x63, "ps"},  {0x64, "fil"}, {0x65, "dv"},
        {0x68, "ha"},  {0x6A, "yo"},  {0x6B, "qu"},  {0x6C, "nso"}, {0x6D, "ba"},  {0x6E, "lb"},
        {0x6F, "kl"},  {0x70, "ig"},  {0x78, "ii"},  {0x7A, "arn"}, {0x7C, "moh"}, {0x7E, "br"},
        {0x80, "ug"},  {0x81, "mi"},  {0x82, "oc"},  {0x83, "co"},  {0x84, "gsw"}, {0x85, "sah"},
        {0x86, "quc"}, {0x87, "rw"},  {0x88, "wo"},  {0x8C, "prs"},
    };
    for (const auto &[id, code] : kCodes) {
        if (id == primary)
            return code;
    }
    return nullptr;
}

QLocale::Territory TerritoryOfRow(const std::string &rowName)
{
    const QString name = QString::fromStdString(rowName).replace(QLatin1Char('_'), ' ');
    QLocale::Territory best = QLocale::AnyTerritory;
    qsizetype bestLength = 0;
    for (int t = QLocale::AnyTerritory + 1; t <= QLocale::LastTerritory; ++t) {
        const auto territory = static_cast<QLocale::Territory>(t);
        const QString territoryName = QLocale::territoryToString(territory);
        if (territoryName.isEmpty() || territoryName.size() <= bestLength)
            continue;
        if (name.endsWith(QLatin1Char(' ') + territoryName, Qt::CaseInsensitive)) {
            best = territory;
            bestLength = territoryName.size();
        }
    }
    return best;
}

QLocale QtLocaleOf(int primary, int sub)
{
    const char *iso = IsoLanguageCode(primary, sub);
    if (!iso)
        return QLocale::system();
    const QLocale language(QString::fromLatin1(iso));
    if (language.language() == QLocale::C)
        return QLocale::system();
    const unsigned short identifier = static_cast<unsigned short>((sub << 10) | primary);
    for (const LocaleRow &row : LocaleTable()) {
        if (row.identifier != identifier)
            continue;
        const QLocale::Territory territory = TerritoryOfRow(row.name);
        if (territory != QLocale::AnyTerritory) {
            const QLocale withTerritory(language.language(), territory);
            if (withTerritory.language() == language.language())
                return withTerritory;
        }
        break;
    }
    return language;
}

const char *DefaultInterfaceFace(int primary, int sub)
{
    constexpr int kChinese = 0x04, kJapanese = 0x11, kKorean = 0x12;
    constexpr int kTaiwan = 0x01, kHongKong = 0x03, kMacao = 0x05, kTraditional = 0x1F;
    if (primary == kChinese) {
        if (sub == kHongKong || sub == kMacao)
            return "Noto Sans CJK HK";
        return sub == kTaiwan || sub == kTraditional ? "Noto Sans CJK TC" : "Noto Sans CJK SC";
    }
    if (primary == kJapanese)
        return "Noto Sans CJK JP";
    if (primary == kKorean)
        return "Noto Sans CJK KR";
    return "Microsoft Sans Serif";
}

namespace {

// What a language changes in the C library: sorting, dates and times, money and the library's
// own messages. Character types stay as the program started (UTF-8 from the environment) and
// numbers keep the full stop: GStreamer's threads read both while they run, and setlocale is
// not safe against readers on other threads.
constexpr int kLanguageCategories[] = {LC_COLLATE, LC_TIME, LC_MONETARY, LC_MESSAGES};

bool SetLanguageCategories(const char *name)
{
    for (const int category : kLanguageCategories) {
        if (!std::setlocale(category, name))
            return false;
    }
    return true;
}

} // namespace

void ApplyRuntimeLocale(bool found, const QLocale &locale)
{
    bool applied = false;
    if (found) {
        const std::string base = locale.name().toStdString();
        for (const char *suffix : {".UTF-8", ".utf8"}) {
            if (SetLanguageCategories((base + suffix).c_str())) {
                applied = true;
                break;
            }
        }
        if (!applied)
            qCDebug(lcLocale) << "locale" << locale.name() << "is not installed";
    }
    if (!applied)
        SetLanguageCategories("");
    // Qt's start-up took the environment's number format; only the first call changes it.
    const char *numeric = std::setlocale(LC_NUMERIC, nullptr);
    if (!numeric || std::strcmp(numeric, "C") != 0)
        std::setlocale(LC_NUMERIC, "C");
}
