#include "localisation/Language.h"
#include "LanguageFolder.h"
#include "localisation/BuiltinTexts.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <cstdio>
#include <random>
#include <tuple>

namespace {

const char kWarning[] = "Your language file name may be not proper,\n please read the help file!";

// Every test gets its own settings file, so font values never leak between tests.
class CatalogueTest : public ::testing::Test
{
protected:
    void SetUp() override { CLanguage::Instance().UseSettings(&m_store); }
    void TearDown() override { CLanguage::Instance().UseSettings(nullptr); }

    QTemporaryDir m_settingsDir;
    SettingsStore m_store{m_settingsDir.path().toStdString() + "/settings.conf"};
    platform::MessageBoxRecorder m_boxes;
};

struct Locale
{
    std::string name;
    int primary = -1;
    int sub = -1;
};

auto Fields(const LogFont &f)
{
    return std::tuple(f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight,
                      f.lfItalic, f.lfUnderline, f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision,
                      f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily, f.lfFaceName);
}

Locale Lookup(CLanguage &language, const std::string &name)
{
    Locale result;
    if (!language.LookupLocale(name, &result.name, &result.primary, &result.sub))
        result.name = "<not found>";
    return result;
}

} // namespace

TEST(LanguageRoot, ParentWinsOnlyWithItsEnglishFile)
{
    LanguageFolder parent;
    const std::string program = parent.Root() + "/bin";
    std::filesystem::create_directories(program + "/language");

    // A language folder without English.ini in the parent does not count.
    parent.Write("German.ini", "");
    EXPECT_EQ(CLanguage::GetLanguageRootFor(program), program);

    // Nor does a folder that merely carries the name.
    std::filesystem::create_directories(parent.Language() + "/English.ini");
    EXPECT_EQ(CLanguage::GetLanguageRootFor(program), program);
    std::filesystem::remove(parent.Language() + "/English.ini");

    parent.Write("English.ini", "");
    EXPECT_EQ(CLanguage::GetLanguageRootFor(program), parent.Root());
    EXPECT_EQ(CLanguage::GetLanguageRootFor(program + "/"), parent.Root());

    EXPECT_EQ(CLanguage::GetLanguageRootFor("/"), "/");
    EXPECT_EQ(CLanguage::GetLanguageRootFor(""), "");
    EXPECT_FALSE(CLanguage::GetLanguageRoot().empty());
}

TEST_F(CatalogueTest, LocaleLookupFollowsTheTableOrder)
{
    CLanguage language;
    language.UseSettings(&m_store);
    const auto expect
        = [&](const std::string &name, const std::string &locale, int primary, int sub) {
              const Locale found = Lookup(language, name);
              EXPECT_EQ(found.name, locale) << name;
              EXPECT_EQ(found.primary, primary) << name;
              EXPECT_EQ(found.sub, sub) << name;
          };
    expect("German", "deu", 0x07, 0);
    expect("DEU", "deu", 0x07, 0);
    expect("German_utf-8", "deu", 0x07, 0);
    expect("German_Unicode", "deu", 0x07, 0);
    expect("German_Austria", "dea", 0x07, 3);
    expect("English_United_States", "enu", 0x09, 1);
    expect("ENU", "enu", 0x09, 0);
    expect("English", "english", 9, 1);
    expect("english_UTF-8", "english", 9, 1);
    expect("Spanish_United States", "est", 0x0A, 0x15);
    expect("Chinese_Traditional", "cht", 0x04, 0x1F);
    EXPECT_TRUE(m_boxes.Boxes().empty());

    // The suffix is cut from the very end, so a name with it inside fails.
    int primary = 42;
    int sub = 43;
    std::string locale = "unchanged";
    EXPECT_FALSE(language.LookupLocale("My_utf-8_test", &locale, &primary, &sub));
    EXPECT_EQ(primary, 42);
    EXPECT_EQ(sub, 43);
    EXPECT_EQ(locale, "unchanged");
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].kind, platform::BoxKind::Unowned);
    EXPECT_EQ(m_boxes.Boxes()[0].text, kWarning);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "my_utf-");

    EXPECT_FALSE(language.LookupLocale("_utf-8", nullptr, nullptr, nullptr));
    EXPECT_EQ(m_boxes.Boxes().back().caption, "");
}

TEST_F(CatalogueTest, SelectsLanguagesByNameWithoutRegardToCase)
{
    LanguageFolder folder;
    folder.Write("English.ini", "[STRING]\nIDS_MESSAGE_ERROR=Error from file\n");
    folder.Write("German.ini", "[STRING]\nIDS_MESSAGE_ERROR=Fehler\n");
    folder.Write("Chinese.ini", "[STRING]\nIDS_MESSAGE_ERROR=cuowu\n");
    folder.Write("notes.txt", "");
    folder.Write("English.ini.bak", "");
    std::filesystem::create_directories(folder.Language() + "/folder.ini");

    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "ENGLISH"));
    ASSERT_EQ(language.GetLanguageCount(), 3);
    EXPECT_EQ(language.GetLanguageName(0), "Chinese");
    EXPECT_EQ(language.GetLanguageName(1), "English");
    EXPECT_EQ(language.GetLanguageName(2), "German");
    EXPECT_EQ(language.GetLanguageName(3), "");
    EXPECT_EQ(language.GetLanguageName(-1), "");

    EXPECT_EQ(language.GetCurrentLanguage(), "ENGLISH");
    EXPECT_EQ(language.GetString(105), "Error from file");
    EXPECT_EQ(language.GetLanguageFilePath(), folder.Language() + "/English.ini");
    EXPECT_EQ(language.GetPrimaryLanguage(), 9);
    EXPECT_EQ(language.GetSubLanguage(), 1);

    language.SelectLanguage("german");
    EXPECT_EQ(language.GetCurrentLanguage(), "german");
    EXPECT_EQ(language.GetString(105), "Fehler");
    EXPECT_EQ(language.GetPrimaryLanguage(), 7);
    EXPECT_EQ(language.GetSubLanguage(), 0);
    EXPECT_EQ(language.GetFileKind(), CLanguage::FileKind::Ansi);

    // Unknown names fall back to English without a word.
    language.SelectLanguage("Klingon");
    EXPECT_EQ(language.GetCurrentLanguage(), "english");
    EXPECT_EQ(language.GetString(105), "Error from file");
    EXPECT_TRUE(m_boxes.Boxes().empty());

    // A name the locale table lacks warns, keeps the previous locale, and still loads.
    language.SelectLanguage("Chinese");
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, kWarning);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "chinese");
    EXPECT_EQ(language.GetString(105), "cuowu");
    EXPECT_EQ(language.GetPrimaryLanguage(), 9);
    EXPECT_EQ(language.GetSubLanguage(), 1);

    // Numbers keep the full stop whatever the language.
    char number[16];
    std::snprintf(number, sizeof number, "%.2f", 2.5);
    EXPECT_STREQ(number, "2.50");
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    language.SelectLanguage("German");
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    EXPECT_EQ(QLocale().language(), QLocale::German);
    EXPECT_EQ(std::stod("0.5"), 0.5);
}

TEST_F(CatalogueTest, SwitchingLanguagesLeavesCharacterTypesAndNumbersAlone)
{
    LanguageFolder folder;
    folder.Write("English.ini", "");
    folder.Write("German.ini", "");
    const std::string ctype = std::setlocale(LC_CTYPE, nullptr);
    const QByteArray environment = qgetenv("LC_ALL");
    const bool hadEnvironment = qEnvironmentVariableIsSet("LC_ALL");
    // Character types "C" while the environment asks for C.UTF-8: only a switch that takes
    // every category from the environment or the language moves them.
    qputenv("LC_ALL", "C.UTF-8");
    std::setlocale(LC_CTYPE, "C");

    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "German"));
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    language.SelectLanguage("English");
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");

    if (hadEnvironment)
        qputenv("LC_ALL", environment);
    else
        qunsetenv("LC_ALL");
    std::setlocale(LC_CTYPE, ctype.c_str());
}

TEST_F(CatalogueTest, FileKindAndLocaleOfNames)
{
    LanguageFolder folder;
    folder.Write("German_utf-8.ini", "[DIALOG]\nIDC_BUTTON_PLAY=Abspielen\n");
    folder.Write("English_United_States_unicode.ini", "");
    folder.Write("My_utf-8_test.ini", "[DIALOG]\nIDC_BUTTON_PLAY=Mine\n");

    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "german_UTF-8"));
    EXPECT_EQ(language.GetFileKind(), CLanguage::FileKind::Utf8);
    EXPECT_EQ(language.GetPrimaryLanguage(), 7);
    EXPECT_EQ(language.GetDialogText(1058), "Abspielen");

    language.SelectLanguage("English_United_States_unicode");
    EXPECT_EQ(language.GetFileKind(), CLanguage::FileKind::Unicode);
    EXPECT_EQ(language.GetPrimaryLanguage(), 9);
    EXPECT_EQ(language.GetSubLanguage(), 1);
    EXPECT_TRUE(m_boxes.Boxes().empty());

    language.SelectLanguage("My_utf-8_test");
    EXPECT_EQ(language.GetFileKind(), CLanguage::FileKind::Utf8);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "my_utf-");
    EXPECT_EQ(language.GetDialogText(1058), "Mine");
}

TEST_F(CatalogueTest, TextsEscapesAndFallbacks)
{
    LanguageFolder folder;
    folder.Write("English.ini", "[STRING]\n"
                                "IDS_MESSAGE_ERROR=a\\nb\n"
                                "IDS_MESSAGE_WARNING=\\t\\n\\r\\\\n\\x\\\n"
                                "IDS_MESSAGE_CONVERSION_DONE=\n"
                                "IDS_TIME_LEFT=%1 restant\n"
                                "[DIALOG]\n"
                                "IDD_PROGRAM_CAPTION=My Caption\n"
                                "IDC_BUTTON_STOP=Halt\n"
                                "IDC_BUTTON_BROWSE=\"  spaced  \"\n"
                                "[MENU]\n"
                                "IDM_ABOUT=&Info\n"
                                "[Unknown]\n"
                                "IDS_MESSAGE_DONE=never read\n");

    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "english"));
    EXPECT_EQ(language.GetString(105), "a\nb");
    EXPECT_EQ(language.GetString(108), "\t\n\r\\\n\\x\\");
    // Empty and missing texts fall back to the built-in strings, and then to nothing.
    EXPECT_EQ(language.GetString(163), "Done");
    EXPECT_EQ(language.GetString(110), "Select Output File Name");
    EXPECT_EQ(language.GetString(101), "&About");
    EXPECT_EQ(language.GetString(1), "");
    EXPECT_EQ(language.GetString(99999), "");
    // The texts added after the table: from the file, else in English.
    EXPECT_EQ(language.GetString(IDS_TIME_LEFT), "%1 restant");
    EXPECT_EQ(language.GetString(IDS_KEY_SPACE), "Space");
    EXPECT_EQ(language.GetString(IDS_EXACT_POSITION), "%1, frame %2");

    // One key serves several numbers.
    EXPECT_EQ(language.GetDialogText(102), "My Caption");
    EXPECT_EQ(language.GetDialogText(1085), "My Caption");
    EXPECT_EQ(language.GetDialogText(1061), "Halt");
    EXPECT_EQ(language.GetDialogString(124), "Halt");
    EXPECT_EQ(language.GetDialogText(1024), "  spaced  ");
    EXPECT_EQ(language.GetMenuText(32778), "&Info");
    EXPECT_EQ(language.GetMenuText(101), "&Info");

    // Dialog and menu texts have no fallback; the dialog strings fall back to string resources.
    EXPECT_EQ(language.GetDialogText(1000), "");
    EXPECT_EQ(language.GetDialogText(125), "");
    EXPECT_EQ(language.GetDialogString(125), "Convert");
    EXPECT_EQ(language.GetMenuText(32780), "");
    EXPECT_EQ(language.GetMenuText(10485760), "");
}

TEST_F(CatalogueTest, EveryKeyIsFiledUnderItsNumbers)
{
    // Each key carries its own name as text, so a key read from the wrong section or filed
    // under the wrong number shows up by name.
    std::string strings = "[STRING]\n";
    std::string dialog = "[DIALOG]\n";
    std::string menu = "[MENU]\n";
    for (const SymbolicKey &row : SymbolicKeyTable()) {
        std::string &section = row.list == CatalogueList::String   ? strings
                               : row.list == CatalogueList::Dialog ? dialog
                                                                   : menu;
        section += std::string(row.key) + "=" + row.key + "\n";
    }
    LanguageFolder folder;
    folder.Write("English.ini", strings + dialog + menu);
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "english"));
    for (const SymbolicKey &row : SymbolicKeyTable()) {
        const std::string text = row.list == CatalogueList::String ? language.GetString(row.number)
                                 : row.list == CatalogueList::Dialog
                                     ? language.GetDialogText(row.number)
                                     : language.GetMenuText(row.number);
        EXPECT_EQ(text, row.key) << row.number;
    }

    // The same key under another section is not read.
    folder.Write("English.ini", "[MENU]\nIDS_MESSAGE_ERROR=wrong\n[STRING]\nIDM_ABOUT=wrong\n");
    language.SelectLanguage("english");
    EXPECT_EQ(language.GetString(105), "Error");
    EXPECT_EQ(language.GetMenuText(32778), "");
}

TEST_F(CatalogueTest, NoLanguageFilesLeavesBuiltInTexts)
{
    LanguageFolder folder;
    folder.Write("readme.txt", "");
    CLanguage language;
    language.UseSettings(&m_store);
    EXPECT_FALSE(language.Initialize(folder.Root(), "german"));
    EXPECT_EQ(language.GetLanguageCount(), 0);
    EXPECT_EQ(language.GetCurrentLanguage(), "english");
    EXPECT_FALSE(language.LoadLanguageFile("english"));
    EXPECT_EQ(language.GetString(130), "Please first stop converting");
    EXPECT_EQ(language.GetDialogString(124), "Stop");
    EXPECT_EQ(language.GetDialogText(102), "");

    // A second start without files forgets the texts of the first.
    folder.Write("German.ini", "[STRING]\nIDS_MESSAGE_ERROR=Fehler\n");
    ASSERT_TRUE(language.Initialize(folder.Root(), "german"));
    EXPECT_EQ(language.GetString(105), "Fehler");
    std::filesystem::remove(folder.Language() + "/German.ini");
    EXPECT_FALSE(language.Initialize(folder.Root(), "german"));
    EXPECT_EQ(language.GetString(105), "Error");

    EXPECT_FALSE(language.Initialize(folder.Root() + "/nowhere", "english"));
}

TEST_F(CatalogueTest, DamagedFilesLoadWithoutHarm)
{
    LanguageFolder folder;
    std::mt19937 random(99);
    std::string junk(200000, '\0');
    for (char &c : junk)
        c = static_cast<char>(random());
    folder.Write("Binary.ini", junk);
    folder.Write("Empty.ini", "");
    folder.Write("Long.ini", "[STRING]\nIDS_MESSAGE_ERROR=" + std::string(3000, 'e') + "\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[STRING]\r\nIDS_MESSAGE_ERROR=Wide\r\n"))
        utf16 += std::string{c, '\0'};
    folder.Write("English.ini", utf16);
    folder.Write("German.ini", utf16.substr(2));

    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "english"));
    EXPECT_EQ(language.GetString(105), "Wide");

    language.SelectLanguage("German");
    EXPECT_EQ(language.GetString(105), "Error");

    language.SelectLanguage("Long");
    EXPECT_EQ(language.GetString(105), std::string(2047, 'e'));

    for (const char *name : {"Binary", "Empty"}) {
        language.SelectLanguage(name);
        EXPECT_EQ(language.GetString(105), "Error") << name;
        EXPECT_EQ(language.GetDialogText(102), "") << name;
    }
}

TEST_F(CatalogueTest, InterfaceFontIsStoredPerLanguage)
{
    LanguageFolder folder;
    folder.Write("English.ini", "");
    folder.Write("German.ini", "");

    CLanguage language;
    language.UseSettings(&m_store);
    EXPECT_FALSE(language.HasInterfaceFont());
    ASSERT_TRUE(language.Initialize(folder.Root(), "english"));
    ASSERT_TRUE(language.HasInterfaceFont());
    const LogFont defaults = language.GetInterfaceFont();
    EXPECT_EQ(defaults.lfHeight, -11);
    EXPECT_EQ(defaults.lfWeight, 400);
    EXPECT_EQ(defaults.lfCharSet, 1);
    EXPECT_EQ(defaults.lfFaceName, "Microsoft Sans Serif");
    // Nothing is written until a font is chosen.
    EXPECT_EQ(m_store.ReadInt("english", "lfHeight", 12345), 12345);

    LogFont chosen;
    chosen.lfHeight = -16;
    chosen.lfWidth = 7;
    chosen.lfEscapement = 1;
    chosen.lfOrientation = 2;
    chosen.lfWeight = 700;
    chosen.lfItalic = 1;
    chosen.lfUnderline = 1;
    chosen.lfStrikeOut = 1;
    chosen.lfCharSet = 238;
    chosen.lfOutPrecision = 3;
    chosen.lfClipPrecision = 2;
    chosen.lfQuality = 5;
    chosen.lfPitchAndFamily = 0x22;
    chosen.lfFaceName = "DejaVu Sans with a face name longer than 31 bytes";
    language.SaveInterfaceFont(chosen);
    EXPECT_EQ(language.GetInterfaceFont().lfFaceName, "DejaVu Sans with a face name lo");
    EXPECT_EQ(m_store.ReadInt("english", "lfQuality", -1), -1);
    EXPECT_EQ(m_store.ReadInt("english", "lfCharSet", -1), 238);

    language.SelectLanguage("German");
    EXPECT_EQ(language.GetInterfaceFont().lfHeight, -11);
    EXPECT_EQ(language.GetInterfaceFont().lfFaceName, "Microsoft Sans Serif");

    m_store.WriteInt("english", "lfQuality", 4);
    m_store.WriteInt("english", "lfItalic", 257);
    language.SelectLanguage("english");
    // lfItalic was stored as 257 and reads back into its byte; lfQuality is never read.
    chosen.lfQuality = 0;
    chosen.lfFaceName = "DejaVu Sans with a face name lo";
    EXPECT_EQ(Fields(language.GetInterfaceFont()), Fields(chosen));

    // A catalogue given no store (a tool) keeps a chosen font for the run and touches no file.
    CLanguage storeless;
    ASSERT_TRUE(storeless.Initialize(folder.Root(), "german"));
    EXPECT_EQ(storeless.GetInterfaceFont().lfHeight, -11);
    chosen.lfHeight = -30;
    storeless.SaveInterfaceFont(chosen);
    EXPECT_EQ(storeless.GetInterfaceFont().lfHeight, -30);
    EXPECT_EQ(m_store.ReadInt("german", "lfHeight", 12345), 12345);
}

TEST(LanguageInstance, IsOneObject)
{
    EXPECT_EQ(&CLanguage::Instance(), &CLanguage::Instance());
}
