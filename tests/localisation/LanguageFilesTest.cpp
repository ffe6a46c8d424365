#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "localisation/LocaleTable.h"
#include "localisation/ProfileReader.h"

#include <gtest/gtest.h>

#include <QString>

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
    EXPECT_EQ(language.GetLanguageName(0), "English");
    EXPECT_EQ(language.GetLanguageName(1), "German");
    EXPECT_EQ(language.GetPrimaryLanguage(), 7);
    EXPECT_EQ(language.GetDialogText(1006), "Video öffnen");
    EXPECT_EQ(language.GetDialogString(124), "Stopp");
    EXPECT_EQ(language.GetString(IDS_EXACT_POSITION), "%1, Bild %2");
}
