#include "localisation/Language.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/LocaleTable.h"
#include "localisation/ProfileReader.h"
#include "localisation/QtTranslations.h"
#include "localisation/RuntimeLocale.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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
    m_bLocaleFound = found;

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
    for (std::span<const SymbolicKey> table : {SymbolicKeyTable(), AddedKeyTable()}) {
        for (const SymbolicKey &row : table) {
            const CatalogueList list = ListOfKey(row.key);
            std::string text = ReplaceEscapes(file.GetString(SectionName(list), row.key, "", 2048));
            TextList &target = list == CatalogueList::Menu     ? m_menuList
                               : list == CatalogueList::String ? m_stringList
                                                               : m_dialogList;
            target.emplace_back(row.number, std::move(text));
        }
    }

    const QLocale locale = QtLocaleOf(m_nPrimaryLanguage, m_nSubLanguage);
    ApplyRuntimeLocale(found, locale);
    QLocale::setDefault(locale);
    // A name the table does not know has no language of its own: Qt keeps its English.
    if (found)
        InstallQtTranslation(locale);
    else
        RemoveQtTranslation();

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

std::string CLanguage::GetLanguageDisplayName(int index) const
{
    const std::string name = GetLanguageName(index);
    if (name.empty())
        return name;
    const std::string path = JoinPath(JoinPath(m_strRoot, kLanguageFolder), name + kFileSuffix);
    const std::string own = ReadProfileString(SectionName(CatalogueList::String),
                                              "IDS_LANGUAGE_NATIVE_NAME", "", path, 64);
    return own.empty() ? name : own;
}

namespace {

// Limits of what a font record may ask for; beyond them the store holds damage, not a wish.
constexpr int kMaxFontPixels = 512;
constexpr int kMaxFontWeight = 1000;

bool IsCreatableFont(const LogFont &font)
{
    const auto within
        = [](long long value, long long limit) { return value >= -limit && value <= limit; };
    return within(font.lfHeight, kMaxFontPixels) && within(font.lfWidth, kMaxFontPixels)
           && font.lfWeight >= 0 && font.lfWeight <= kMaxFontWeight;
}

} // namespace

void CLanguage::CreateInterfaceFont()
{
    const std::string &section = m_strCurrentLanguage;
    const auto number = [&](const char *name, int defaultValue) {
        return m_settings ? m_settings->ReadInt(section, name, defaultValue) : defaultValue;
    };
    const auto byte = [&](const char *name, int defaultValue) {
        return static_cast<unsigned char>(number(name, defaultValue));
    };
    LogFont font;
    font.lfHeight = number("lfHeight", -11);
    font.lfWidth = number("lfWidth", 0);
    font.lfEscapement = number("lfEscapement", 0);
    font.lfOrientation = number("lfOrientation", 0);
    font.lfWeight = number("lfWeight", 400);
    font.lfItalic = byte("lfItalic", 0);
    font.lfUnderline = byte("lfUnderline", 0);
    font.lfStrikeOut = byte("lfStrikeOut", 0);
    font.lfCharSet = byte("lfCharSet", 1);
    font.lfOutPrecision = byte("lfOutPrecision", 0);
    font.lfClipPrecision = byte("lfClipPrecision", 0);
    font.lfQuality = 0;
    font.lfPitchAndFamily = byte("lfPitchAndFamily", 0);
    // A language without a stored font gets a face with its script's glyphs.
    const char *defaultFace = m_bLocaleFound
                                  ? DefaultInterfaceFace(m_nPrimaryLanguage, m_nSubLanguage)
                                  : "Microsoft Sans Serif";
    const std::string face
        = m_settings ? m_settings->ReadString(section, "lfFaceName", defaultFace) : defaultFace;
    font.lfFaceName = CutBytes(face, kMaxFaceNameBytes);
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
    if (!m_settings)
        return;

    SettingsStore &store = *m_settings;
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
