#include "LanguageFolder.h"
#include "localisation/ProfileReader.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string Utf16(const std::u16string &text, bool bigEndian)
{
    std::string bytes = bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

} // namespace

TEST(ProfileReader, NamesQuotesBlanksAndComments)
{
    ProfileFile file;
    file.Parse("; leading comment\n"
               "orphan=before any section\n"
               "[ Strings ]\r\n"
               "  Greeting  =   Hello there   \r\n"
               "double=\"  quoted  \"\n"
               "single='x'\n"
               "mixed=\"x'\n"
               "lonely=\"\n"
               "inner=a \"b\" c\n"
               "; hidden=comment\n"
               "   ;indented=comment\n"
               "no equals sign\n"
               "empty=\n"
               "greeting=second wins nothing\n"
               "[other]\n"
               "greeting=other section\n"
               "[STRINGS]\n"
               "late=repeated section adds nothing\n");

    EXPECT_EQ(file.GetString("strings", "GREETING", "d"), "Hello there");
    EXPECT_EQ(file.GetString("STRINGS", "double", "d"), "  quoted  ");
    EXPECT_EQ(file.GetString("Strings", "single", "d"), "x");
    EXPECT_EQ(file.GetString("Strings", "mixed", "d"), "\"x'");
    EXPECT_EQ(file.GetString("Strings", "lonely", "d"), "\"");
    EXPECT_EQ(file.GetString("Strings", "inner", "d"), "a \"b\" c");
    EXPECT_EQ(file.GetString("Strings", "hidden", "d"), "d");
    EXPECT_EQ(file.GetString("Strings", ";indented", "d"), "d");
    EXPECT_EQ(file.GetString("Strings", "no equals sign", "d"), "d");
    EXPECT_EQ(file.GetString("Strings", "empty", "d"), "");
    EXPECT_EQ(file.GetString("Strings", "late", "d"), "d");
    EXPECT_EQ(file.GetString("other", "greeting", "d"), "other section");
    EXPECT_EQ(file.GetString("", "orphan", "d"), "d");
    EXPECT_EQ(file.GetString("missing", "greeting", "d"), "d");
}

TEST(ProfileReader, CutsValuesToTheBuffer)
{
    const std::string longValue(5000, 'x');
    ProfileFile file;
    file.Parse("[s]\nlong=" + longValue + "\nshort=abc\nwide=" + std::string(2046, 'a') + "\xC3\xA4"
               + "tail\n");

    EXPECT_EQ(file.GetString("s", "long", ""), std::string(2047, 'x'));
    EXPECT_EQ(file.GetString("s", "long", "", 3), "xx");
    EXPECT_EQ(file.GetString("s", "short", "", 1), "");
    EXPECT_EQ(file.GetString("s", "short", "", 0), "");
    // A two-byte letter across the cut is dropped whole, not split.
    EXPECT_EQ(file.GetString("s", "wide", ""), std::string(2046, 'a'));
}

TEST(ProfileReader, EncodingsAndDamagedFiles)
{
    LanguageFolder folder;
    const std::string bom = folder.Write("bom.ini", "\xEF\xBB\xBF[s]\nk=\303\274ber\n");
    EXPECT_EQ(ReadProfileString("s", "k", "d", bom), "\303\274ber");

    const std::u16string utf16 = u"[s]\r\nk=\u00FCber \U0001F600\r\n";
    const std::string expected = "\303\274ber \xF0\x9F\x98\x80";
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Write("le.ini", Utf16(utf16, false))),
              expected);
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Write("be.ini", Utf16(utf16, true))),
              expected);

    // UTF-16 without a mark is read as bytes: nothing matches, nothing breaks.
    const std::string noMark = Utf16(utf16, false).substr(2);
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Write("nomark.ini", noMark)), "d");

    // A lone surrogate and an odd trailing byte survive as a replacement mark.
    std::string broken = Utf16(u"[s]\nk=a", false) + std::string("\x00\xD8", 2) + "b";
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Write("broken.ini", broken)),
              "a\xEF\xBF\xBD");

    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Write("empty.ini", "")), "d");
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Language() + "/missing.ini"), "d");
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Language()), "d");

    std::mt19937 random(1234);
    std::string junk(64 * 1024, '\0');
    for (char &c : junk)
        c = static_cast<char>(random());
    const ProfileFile junkFile(folder.Write("junk.ini", junk));
    EXPECT_TRUE(junkFile.IsLoaded());
    EXPECT_EQ(junkFile.GetString("STRING", "IDS_MESSAGE_ERROR", "d"), "d");

    // A value is a C string: it ends at the first NUL.
    const std::string withNul = std::string("[s]\nk=ab") + '\0' + "cd\n";
    EXPECT_EQ(ReadProfileString("s", "k", "d", folder.Write("nul.ini", withNul)), "ab");
}
