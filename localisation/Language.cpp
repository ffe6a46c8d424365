#include "localisation/Language.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/LocaleTable.h"
#include "localisation/ProfileReader.h"
#include "options/SettingsStore.h"
#include "platform/MessageBoxes.h"

#include <QCoreApplication>
#include <QLocale>
#include <QLoggingCategory>

#include <algorithm>
#include <clocale>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcLanguage, "clipwright.localisation", QtWarningMsg)

namespace {

constexpr char kLanguageFolder[] = "language";
constexpr char kFileSuffix[] = ".ini";
constexpr char kEnglish[] = "english";

std::string LowerAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool EqualNoCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// A regular file that can be opened for reading; a folder of that name does not count.
bool CanOpenForReading(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    const bool isFile = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return isFile;
}

CLanguage::FileKind KindOfName(const std::string &name)
{
    const std::string lower = LowerAscii(name);
    if (lower.find("_utf-8") != std::string::npos)
        return CLanguage::FileKind::Utf8;
    if (lower.find("_unicode") != std::string::npos)
        return CLanguage::FileKind::Unicode;
    return CLanguage::FileKind::Ansi;
}

// Tab first, then line feed, then carriage return; there is no escape for the backslash.
std::string ReplaceEscapes(std::string text)
{
    static constexpr std::pair<char, char> kEscapes[] = {{'t', '\t'}, {'n', '\n'}, {'r', '\r'}};
    for (const auto &[letter, replacement] : kEscapes) {
        const char sequence[] = {'\\', letter, '\0'};
        std::size_t pos = 0;
        while ((pos = text.find(sequence, pos)) != std::string::npos) {
            text.replace(pos, 2, 1, replacement);
            ++pos;
        }
    }
    return text;
}

// ISO 639 code of a Windows primary language identifier, for the languages of the locale
// table.
const char *IsoLanguage(int primary, int sub)
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

// The country of a table row is the end of its name ("German_Austria" -> Austria).
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

// The Qt locale of a language identifier; the system locale when the language is unknown.
QLocale QtLocaleOf(int primary, int sub)
{
    const char *iso = IsoLanguage(primary, sub);
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

// Sets the C library's locale to the language when the system has it, otherwise to the user's
// default; numbers always keep the full stop.
void ApplyRuntimeLocale(bool found, const QLocale &locale)
{
    bool applied = false;
    if (found) {
        const std::string base = locale.name().toStdString();
        for (const char *suffix : {".UTF-8", ".utf8"}) {
            if (std::setlocale(LC_ALL, (base + suffix).c_str())) {
                applied = true;
                break;
            }
        }
        if (!applied)
            qCDebug(lcLanguage) << "locale" << locale.name() << "is not installed";
    }
    if (!applied)
        std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
}

std::string CutBytes(const std::string &text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    // Never leave half of a UTF-8 character behind.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

constexpr std::size_t kMaxFaceNameBytes = 31;

} // namespace

CLanguage::CLanguage() = default;

std::string CLanguage::GetLanguageRoot()
{
    std::string programFolder;
    if (QCoreApplication::instance()) {
        programFolder = QCoreApplication::applicationDirPath().toStdString();
    } else {
        std::error_code error;
        const std::filesystem::path program
            = std::filesystem::read_symlink("/proc/self/exe", error);
        if (!error)
            programFolder = program.parent_path().string();
    }
    return GetLanguageRootFor(programFolder);
}

std::string CLanguage::GetLanguageRootFor(const std::string &programFolder)
{
    std::string folder = programFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos || folder == "/")
        return folder;
    const std::string parent = slash == 0 ? std::string("/") : folder.substr(0, slash);
    const std::string probe = JoinPath(JoinPath(parent, kLanguageFolder), "English.ini");
    return CanOpenForReading(probe) ? parent : folder;
}

bool CLanguage::Initialize(const std::string &root, const std::string &requestedName)
{
    m_strRoot = root;
    m_languageNames.clear();
    if (!FindLanguageFiles()) {
        // A second initialisation must not keep the texts of an earlier one.
        m_menuList.clear();
        m_stringList.clear();
        m_dialogList.clear();
        return false;
    }
    SelectLanguage(requestedName);
    return true;
}

bool CLanguage::FindLanguageFiles()
{
    namespace fs = std::filesystem;
    const std::string suffix = kFileSuffix;
    std::error_code error;
    fs::directory_iterator it(JoinPath(m_strRoot, kLanguageFolder), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code statError;
        if (!it->is_regular_file(statError))
            continue;
        const std::string fileName = it->path().filename().string();
        if (fileName.size() <= suffix.size()
            || fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        m_languageNames.push_back(fileName.substr(0, fileName.size() - suffix.size()));
    }
    // Byte-wise and case-sensitive, so the menu order does not depend on the user's locale.
    std::sort(m_languageNames.begin(), m_languageNames.end());
    return !m_languageNames.empty();
}

void CLanguage::SelectLanguage(const std::string &name)
{
    m_menuList.clear();
    m_stringList.clear();
    m_dialogList.clear();
    m_strCurrentLanguage = kEnglish;
    for (const std::string &languageName : m_languageNames) {
        if (EqualNoCase(languageName, name)) {
            m_strCurrentLanguage = name;
            break;
        }
    }
    LoadLanguageFile(m_strCurrentLanguage);
}

bool CLanguage::LoadLanguageFile(const std::string &name)
{
    if (m_languageNames.empty())
        return false;
    m_fileKind = KindOfName(name);

    std::string localeName;
    int primary = m_nPrimaryLanguage;
    int sub = m_nSubLanguage;
    const bool found = LookupLocale(name, &localeName, &primary, &sub);
    m_nPrimaryLanguage = primary;
    m_nSubLanguage = sub;

    // Names match files without regard to case, as they would on a case-blind file system.
    std::string fileName = name;
    for (const std::string &languageName : m_languageNames) {
        if (EqualNoCase(languageName, name)) {
            fileName = languageName;
            break;
        }
    }
    m_strFilePath = JoinPath(JoinPath(m_strRoot, kLanguageFolder), fileName + kFileSuffix);

    m_menuList.clear();
    m_stringList.clear();
    m_dialogList.clear();
    const ProfileFile file(m_strFilePath);
    for (const SymbolicKey &row : SymbolicKeyTable()) {
        const CatalogueList list = ListOfKey(row.key);
        std::string text = ReplaceEscapes(file.GetString(SectionName(list), row.key, "", 2048));
        TextList &target = list == CatalogueList::Menu     ? m_menuList
                           : list == CatalogueList::String ? m_stringList
                                                           : m_dialogList;
        target.emplace_back(row.number, std::move(text));
    }

    const QLocale locale = QtLocaleOf(m_nPrimaryLanguage, m_nSubLanguage);
    ApplyRuntimeLocale(found, locale);
    QLocale::setDefault(locale);

    CreateInterfaceFont();
    return true;
}

bool CLanguage::LookupLocale(const std::string &name, std::string *localeName, int *primaryLanguage,
                             int *subLanguage)
{
    std::string lower = LowerAscii(name);
    const FileKind kind = KindOfName(name);
    const std::size_t cut = kind == FileKind::Utf8 ? 6 : kind == FileKind::Unicode ? 8 : 0;
    lower.resize(lower.size() > cut ? lower.size() - cut : 0);

    const auto report = [&](const std::string &locale, int primary, int sub) {
        if (localeName)
            *localeName = locale;
        if (primaryLanguage)
            *primaryLanguage = primary;
        if (subLanguage)
            *subLanguage = sub;
    };
    if (lower == kEnglish) {
        report(kEnglish, 9, 1);
        return true;
    }
    for (const LocaleRow &row : LocaleTable()) {
        const std::string abbreviation = LowerAscii(row.abbreviation);
        if (lower == LowerAscii(row.name) || lower == abbreviation) {
            report(abbreviation, row.PrimaryLanguage(), row.SubLanguage());
            return true;
        }
    }
    platform::ShowUnownedMessageBox(
        "Your language file name may be not proper,\n please read the help file!", lower);
    return false;
}

namespace {

std::string FirstText(const std::vector<std::pair<int, std::string>> &list, int number)
{
    for (const auto &[entryNumber, text] : list) {
        if (entryNumber == number)
            return text;
    }
    return std::string();
}

} // namespace

std::string CLanguage::GetString(int number) const
{
    std::string text = FirstText(m_stringList, number);
    return text.empty() ? BuiltinString(number) : text;
}

std::string CLanguage::GetDialogString(int number) const
{
    std::string text = FirstText(m_dialogList, number);
    return text.empty() ? BuiltinString(number) : text;
}

std::string CLanguage::GetDialogText(int number) const
{
    return FirstText(m_dialogList, number);
}

std::string CLanguage::GetMenuText(int number) const
{
    return FirstText(m_menuList, number);
}

std::string CLanguage::GetLanguageName(int index) const
{
    if (index < 0 || index >= GetLanguageCount())
        return std::string();
    return m_languageNames[static_cast<std::size_t>(index)];
}

namespace {

// Limits of what a font record may ask for; beyond them the store holds damage, not a wish.
constexpr int kMaxFontPixels = 512;
constexpr int kMaxFontWeight = 1000;

bool IsCreatableFont(const LogFont &font)
{
    const auto within = [](long long value, long long limit) {
        return value >= -limit && value <= limit;
    };
    return within(font.lfHeight, kMaxFontPixels) && within(font.lfWidth, kMaxFontPixels)
           && font.lfWeight >= 0 && font.lfWeight <= kMaxFontWeight;
}

} // namespace

void CLanguage::CreateInterfaceFont()
{
    const SettingsStore &store = SettingsStore::Global();
    const std::string &section = m_strCurrentLanguage;
    const auto byte = [&](const char *name, int defaultValue) {
        return static_cast<unsigned char>(store.ReadInt(section, name, defaultValue));
    };
    LogFont font;
    font.lfHeight = store.ReadInt(section, "lfHeight", -11);
    font.lfWidth = store.ReadInt(section, "lfWidth", 0);
    font.lfEscapement = store.ReadInt(section, "lfEscapement", 0);
    font.lfOrientation = store.ReadInt(section, "lfOrientation", 0);
    font.lfWeight = store.ReadInt(section, "lfWeight", 400);
    font.lfItalic = byte("lfItalic", 0);
    font.lfUnderline = byte("lfUnderline", 0);
    font.lfStrikeOut = byte("lfStrikeOut", 0);
    font.lfCharSet = byte("lfCharSet", 1);
    font.lfOutPrecision = byte("lfOutPrecision", 0);
    font.lfClipPrecision = byte("lfClipPrecision", 0);
    font.lfQuality = 0;
    font.lfPitchAndFamily = byte("lfPitchAndFamily", 0);
    font.lfFaceName = CutBytes(store.ReadString(section, "lfFaceName", "Microsoft Sans Serif"),
                               kMaxFaceNameBytes);
    // A face that is not installed is substituted when the record becomes a widget font; only
    // sizes and weights that no font can have (a damaged store) make creation fail.
    m_bHasFont = false;
    if (!IsCreatableFont(font)) {
        m_interfaceFont = LogFont();
        platform::ShowUnownedMessageBox("Failed to create font", "Error");
        return;
    }
    m_interfaceFont = font;
    m_bHasFont = true;
}

void CLanguage::SaveInterfaceFont(const LogFont &font)
{
    // The saved font is also the one the catalogue hands out from now on.
    m_interfaceFont = font;
    m_interfaceFont.lfFaceName = CutBytes(font.lfFaceName, kMaxFaceNameBytes);
    m_bHasFont = true;

    SettingsStore &store = SettingsStore::Global();
    const std::string &section = m_strCurrentLanguage;
    store.WriteInt(section, "lfHeight", font.lfHeight);
    store.WriteInt(section, "lfWidth", font.lfWidth);
    store.WriteInt(section, "lfEscapement", font.lfEscapement);
    store.WriteInt(section, "lfOrientation", font.lfOrientation);
    store.WriteInt(section, "lfWeight", font.lfWeight);
    store.WriteInt(section, "lfItalic", font.lfItalic);
    store.WriteInt(section, "lfUnderline", font.lfUnderline);
    store.WriteInt(section, "lfStrikeOut", font.lfStrikeOut);
    store.WriteInt(section, "lfCharSet", font.lfCharSet);
    store.WriteInt(section, "lfOutPrecision", font.lfOutPrecision);
    store.WriteInt(section, "lfClipPrecision", font.lfClipPrecision);
    store.WriteInt(section, "lfPitchAndFamily", font.lfPitchAndFamily);
    store.WriteString(section, "lfFaceName", m_interfaceFont.lfFaceName);
}

CLanguage &CLanguage::Instance()
{
    static CLanguage language;
    return language;
}
