#include "localisation/RuntimeLocale.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <string>
#include <vector>

namespace {

TEST(RuntimeLocale, LanguageIdentifiersBecomeIsoCodesAndQtLocales)
{
    EXPECT_STREQ(IsoLanguageCode(0x07, 0x01), "de");
    EXPECT_STREQ(IsoLanguageCode(0x09, 0x02), "en");
    // One primary identifier for Croatian, Serbian and Bosnian; the sub-language decides.
    EXPECT_STREQ(IsoLanguageCode(0x1A, 0x01), "hr");
    EXPECT_STREQ(IsoLanguageCode(0x1A, 0x03), "sr");
    EXPECT_STREQ(IsoLanguageCode(0x1A, 0x05), "bs");
    EXPECT_STREQ(IsoLanguageCode(0x2E, 0x01), "hsb");
    EXPECT_STREQ(IsoLanguageCode(0x2E, 0x02), "dsb");
    EXPECT_EQ(IsoLanguageCode(0x3D, 0x01), nullptr);
    EXPECT_EQ(IsoLanguageCode(0, 0), nullptr);

    EXPECT_EQ(TerritoryOfRow("German_Austria"), QLocale::Austria);
    EXPECT_EQ(TerritoryOfRow("English_United_States"), QLocale::UnitedStates);
    EXPECT_EQ(TerritoryOfRow("Spanish_United States"), QLocale::UnitedStates);
    EXPECT_EQ(TerritoryOfRow("German"), QLocale::AnyTerritory);
    EXPECT_EQ(TerritoryOfRow(""), QLocale::AnyTerritory);

    EXPECT_EQ(QtLocaleOf(0x07, 0x03), QLocale(QLocale::German, QLocale::Austria));
    EXPECT_EQ(QtLocaleOf(0x0C, 0x03), QLocale(QLocale::French, QLocale::Canada));
    // A language row without a country is the language alone.
    EXPECT_EQ(QtLocaleOf(0x07, 0x00).language(), QLocale::German);
    EXPECT_EQ(QtLocaleOf(0x3D, 0x01), QLocale::system());
}

// Every category as it was, and LC_ALL in the environment, put back after a test.
class SavedLocale
{
public:
    SavedLocale()
        : m_environment(qgetenv("LC_ALL"))
        , m_hadEnvironment(qEnvironmentVariableIsSet("LC_ALL"))
    {
        for (int category : kCategories)
            m_names.emplace_back(std::setlocale(category, nullptr));
    }
    ~SavedLocale()
    {
        if (m_hadEnvironment)
            qputenv("LC_ALL", m_environment);
        else
            qunsetenv("LC_ALL");
        for (std::size_t i = 0; i < m_names.size(); ++i)
            std::setlocale(kCategories[i], m_names[i].c_str());
    }

private:
    static constexpr int kCategories[]
        = {LC_CTYPE, LC_NUMERIC, LC_COLLATE, LC_MONETARY, LC_TIME, LC_MESSAGES};
    std::vector<std::string> m_names;
    QByteArray m_environment;
    bool m_hadEnvironment;
};

TEST(RuntimeLocale, ALanguageSetsOnlyTheCategoriesItNeeds)
{
    SavedLocale saved;
    // Every category "C", the environment asking for another locale: a category that moves
    // was set from the language or the environment.
    qputenv("LC_ALL", "C.UTF-8");
    ASSERT_TRUE(std::setlocale(LC_ALL, "C"));
    ApplyRuntimeLocale(true, QLocale(QLocale::German, QLocale::Germany));

    for (int category : {LC_COLLATE, LC_TIME, LC_MONETARY, LC_MESSAGES}) {
        const std::string name = std::setlocale(category, nullptr);
        EXPECT_TRUE(name == "de_DE.UTF-8" || name == "de_DE.utf8" || name == "C.UTF-8") << name;
    }
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");

    // An unknown language takes the user's default, again for those categories only.
    ASSERT_TRUE(std::setlocale(LC_ALL, "C"));
    ApplyRuntimeLocale(false, QLocale::system());
    EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C.UTF-8");
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");

    // Numbers are put back to "C" if something else changed them.
    ASSERT_TRUE(std::setlocale(LC_NUMERIC, "C.UTF-8"));
    ApplyRuntimeLocale(false, QLocale::system());
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

} // namespace
