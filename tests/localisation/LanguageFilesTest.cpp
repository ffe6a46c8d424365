#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "localisation/LocaleTable.h"
#include "localisation/ProfileReader.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFontInfo>
#include <QLocale>
#include <QRawFont>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <set>
#include <vector>

namespace {

const std::string kLanguageFolder = std::string(CW_SOURCE_DIR) + "/language";

std::string WithoutAccelerators(std::string text)
{
    std::erase(text, '&');
    return text;
}

// The table's keys and those added after it.
std::vector<SymbolicKey> AllKeys()
{
    std::vector<SymbolicKey> keys(SymbolicKeyTable().begin(), SymbolicKeyTable().end());
    keys.insert(keys.end(), AddedKeyTable().begin(), AddedKeyTable().end());
    return keys;
}

} // namespace

TEST(LocaleTable, HasEveryRowInOrder)
{
    const auto table = LocaleTable();
    ASSERT_EQ(table.size(), 273u);
    EXPECT_STREQ(table.front().name, "Afrikaans");
    EXPECT_EQ(table.front().identifier, 0x0036);
    EXPECT_STREQ(table.back().name, "Yoruba_Nigeria");
    EXPECT_STREQ(table.back().abbreviation, "YOR");
    std::set<std::string> names;
    for (const LocaleRow &row : table) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_EQ(std::string(row.abbreviation).size(), 3u) << row.name;
        EXPECT_EQ(row.PrimaryLanguage() | row.SubLanguage() << 10, row.identifier) << row.name;
    }
    EXPECT_EQ(names.count("Spanish_United States"), 1u);
}

TEST(BuiltinTexts, TableAndStringResources)
{
    const auto keys = SymbolicKeyTable();
    ASSERT_EQ(keys.size(), 58u);
    EXPECT_STREQ(keys.front().key, "IDM_ABOUT");
    EXPECT_EQ(keys[1].number, 160 * 65536);
    for (const SymbolicKey &row : keys) {
        EXPECT_EQ(ListOfKey(row.key), row.list) << row.key;
        EXPECT_EQ(BuiltinText(row.list, row.number), row.text) << row.key;
        // Every string row has its string resource.
        if (row.list == CatalogueList::String) {
            EXPECT_EQ(BuiltinString(row.number), row.text) << row.key;
        }
    }
    EXPECT_EQ(ListOfKey("IDR_MENU"), CatalogueList::Menu);
    EXPECT_EQ(BuiltinString(101), "&About");
    EXPECT_EQ(BuiltinString(102), "English");
    EXPECT_EQ(BuiltinText(CatalogueList::Dialog, 102), "Clipwright");
    EXPECT_EQ(BuiltinString(124), "Stop");
    EXPECT_EQ(BuiltinString(125), "Convert");
    EXPECT_EQ(BuiltinString(1000), "");

    // Values fill their places in one pass; a place without a value stays.
    EXPECT_EQ(FormatText("Stopped: %1 of %2 written.", {"1.00 s", "2.00 s"}),
              "Stopped: 1.00 s of 2.00 s written.");
    EXPECT_EQ(FormatText("%2 before %1", {"a%2", "b"}), "b before a%2");
    EXPECT_EQ(FormatText("%1 and %3, 100%", {"x"}), "x and %3, 100%");
    EXPECT_EQ(FormatText("%1", {}), "%1");
}

TEST(LanguageFiles, EnglishFileHoldsTheBuiltInTexts)
{
    const ProfileFile english(kLanguageFolder + "/English.ini");
    ASSERT_TRUE(english.IsLoaded());
    for (const SymbolicKey &row : AllKeys()) {
        // A line feed is written "\n" in the file.
        const std::string text
            = QString::fromStdString(english.GetString(SectionName(row.list), row.key, "<missing>"))
                  .replace(QStringLiteral("\\n"), QStringLiteral("\n"))
                  .toStdString();
        // A key serving a menu item and another row may carry the item's accelerator.
        if (text != row.text) {
            EXPECT_EQ(WithoutAccelerators(text), WithoutAccelerators(row.text)) << row.key;
        }
        EXPECT_TRUE(text == row.text || row.list == CatalogueList::Menu) << row.key << ": " << text;
    }
}

TEST(LanguageFiles, GermanFileTranslatesEveryKey)
{
    const ProfileFile german(kLanguageFolder + "/German.ini");
    ASSERT_TRUE(german.IsLoaded());
    int translated = 0;
    for (const SymbolicKey &row : AllKeys()) {
        const std::string text = german.GetString(SectionName(row.list), row.key, "");
        EXPECT_FALSE(text.empty()) << row.key;
        EXPECT_TRUE(QString::fromUtf8(text).toUtf8().toStdString() == text) << row.key;
        translated += text != row.text;
    }
    // Names and "OK" may stay as they are; nearly everything else is German.
    EXPECT_GT(translated, 45);

    CLanguage language;
    ASSERT_TRUE(language.Initialize(CW_SOURCE_DIR, "German"));
    EXPECT_EQ(language.GetLanguageName(1), "English");
    EXPECT_EQ(language.GetLanguageName(3), "German");
    EXPECT_EQ(language.GetPrimaryLanguage(), 7);
    EXPECT_EQ(language.GetDialogText(1006), "Video öffnen");
    EXPECT_EQ(language.GetDialogString(124), "Stopp");
    EXPECT_EQ(language.GetString(IDS_EXACT_POSITION), "%1, Bild %2");
}

namespace {

// Keys of a file in their order, with their sections.
std::vector<std::pair<std::string, std::string>> KeysOf(const std::string &path)
{
    std::vector<std::pair<std::string, std::string>> keys;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    std::string section;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const std::string line = raw.trimmed().toStdString();
        if (line.starts_with('['))
            section = line.substr(1, line.find(']') - 1);
        else if (!line.starts_with(';') && line.find('=') != std::string::npos)
            keys.emplace_back(section, line.substr(0, line.find('=')));
    }
    return keys;
}

// "%1", "%s", "%d" and the escapes, in the order they come.
std::vector<std::string> Placeholders(const std::string &text)
{
    static const QRegularExpression place(QStringLiteral(R"(%[0-9sd]|\\[ntr])"));
    std::vector<std::string> found;
    for (auto it = place.globalMatch(QString::fromStdString(text)); it.hasNext();)
        found.push_back(it.next().captured().toStdString());
    return found;
}

struct Shipped
{
    const char *file;
    const char *ownName;
    const char *qtLocale;
    const char *face; // the interface font's face before the user picks one
    // Texts this language writes as English does: names, and words it shares.
    std::set<std::string> sameAsEnglish;
};

const Shipped kShipped[] = {
    {"German", "Deutsch", "de_DE", "Microsoft Sans Serif",
     {"IDD_PROGRAM_CAPTION", "IDC_BUTTON_OPTIONS_OK", "IDS_VERSION", "IDC_BUTTON_PAUSE",
      "IDS_TIP_HOMEPAGE", "IDC_BUTTON_HOMEPAGE"}},
    {"French", "Français", "fr_FR", "Microsoft Sans Serif",
     {"IDD_PROGRAM_CAPTION", "IDC_BUTTON_OPTIONS_OK", "IDS_VERSION", "IDC_BUTTON_PAUSE",
      "IDC_BUTTON_OUTPUT_SETTINGS"}},
    {"Spanish", "Español", "es_ES", "Microsoft Sans Serif",
     {"IDD_PROGRAM_CAPTION", "IDS_MESSAGE_ERROR"}},
    {"Italian", "Italiano", "it_IT", "Microsoft Sans Serif",
     {"IDD_PROGRAM_CAPTION", "IDC_BUTTON_OPTIONS_OK"}},
    {"Portuguese_Brazil", "Português (Brasil)", "pt_BR", "Microsoft Sans Serif",
     {"IDD_PROGRAM_CAPTION", "IDC_BUTTON_OPTIONS_OK"}},
    {"Polish", "Polski", "pl_PL", "Microsoft Sans Serif",
     {"IDD_PROGRAM_CAPTION", "IDC_BUTTON_OPTIONS_OK"}},
    {"Russian", "Русский", "ru_RU", "Microsoft Sans Serif", {"IDD_PROGRAM_CAPTION"}},
    {"Chinese_Simplified", "简体中文", "zh_CN", "Noto Sans CJK SC", {"IDD_PROGRAM_CAPTION"}},
    {"Japanese", "日本語", "ja_JP", "Noto Sans CJK JP",
     {"IDD_PROGRAM_CAPTION", "IDC_BUTTON_OPTIONS_OK"}},
};

// Characters of text that font has no glyph for; blanks and line breaks need none.
QString MissingGlyphs(const QString &text, const QRawFont &font)
{
    QString missing;
    for (const uint c : text.toUcs4())
        if (!QChar::isSpace(c) && !font.supportsCharacter(c))
            missing += QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1);
    return missing;
}

} // namespace

// Every shipped language has every key of the English file, translated unless its list says
// otherwise, with the placeholders in English's order; it loads through the catalogue with its
// own locale, Qt's translation and a face that has a glyph for every character it uses.
TEST(LanguageFiles, EveryLanguageTranslatesEveryKeyOfTheEnglishFile)
{
    const auto keys = KeysOf(kLanguageFolder + "/English.ini");
    ASSERT_GT(keys.size(), 80u);
    for (const SymbolicKey &row : AllKeys()) // the program reads no key English lacks
        EXPECT_NE(std::find(keys.begin(), keys.end(), std::pair<std::string, std::string>(
                                                          SectionName(row.list), row.key)),
                  keys.end())
            << row.key;
    const ProfileFile english(kLanguageFolder + "/English.ini");
    CLanguage language;
    ASSERT_TRUE(language.Initialize(CW_SOURCE_DIR, "English"));
    ASSERT_EQ(language.GetLanguageCount(), static_cast<int>(std::size(kShipped)) + 1);

    for (const Shipped &shipped : kShipped) {
        const ProfileFile file(kLanguageFolder + "/" + shipped.file + ".ini");
        ASSERT_TRUE(file.IsLoaded()) << shipped.file;
        const QRawFont face = QRawFont::fromFont(QFont(QString::fromLatin1(shipped.face)));
        for (const auto &[section, key] : keys) {
            const std::string where = std::string(shipped.file) + " " + key;
            const std::string text = file.GetString(section, key, "");
            const std::string englishText = english.GetString(section, key, "");
            EXPECT_FALSE(text.empty()) << where;
            EXPECT_EQ(text != englishText, !shipped.sameAsEnglish.contains(key))
                << where << ": " << text;
            EXPECT_EQ(Placeholders(text), Placeholders(englishText)) << where << ": " << text;
            EXPECT_EQ(QString::fromUtf8(text).toUtf8().toStdString(), text) << where;
            EXPECT_EQ(MissingGlyphs(QString::fromUtf8(text), face), "") << where;
        }

        language.SelectLanguage(shipped.file);
        EXPECT_EQ(language.GetCurrentLanguage(), shipped.file);
        EXPECT_TRUE(language.HasKnownLocale()) << shipped.file;
        EXPECT_EQ(QLocale().name(), shipped.qtLocale) << shipped.file;
        EXPECT_EQ(language.GetDialogText(1006),
                  file.GetString("DIALOG", "IDC_BUTTON_ADD_VIDEO", ""));
        EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel")
            << shipped.file << ": Qt's own texts stay English";
        EXPECT_EQ(language.GetInterfaceFont().lfFaceName, shipped.face);
        if (QString::fromLatin1(shipped.face).startsWith("Noto")) {
            EXPECT_EQ(QFontInfo(QFont(shipped.face)).family(), shipped.face) << "not installed";
        }
        for (int i = 0; i < language.GetLanguageCount(); ++i) {
            if (language.GetLanguageName(i) == shipped.file) {
                EXPECT_EQ(language.GetLanguageDisplayName(i), shipped.ownName);
            }
        }
    }
    language.SelectLanguage("English");
}
