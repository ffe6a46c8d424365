#pragma once

#include <string>
#include <utility>
#include <vector>

class SettingsStore;

// LOGFONT-shaped description of the interface font, stored field by field per language.
struct LogFont
{
    int lfHeight = -11;
    int lfWidth = 0;
    int lfEscapement = 0;
    int lfOrientation = 0;
    int lfWeight = 400;
    unsigned char lfItalic = 0;
    unsigned char lfUnderline = 0;
    unsigned char lfStrikeOut = 0;
    unsigned char lfCharSet = 1;
    unsigned char lfOutPrecision = 0;
    unsigned char lfClipPrecision = 0;
    unsigned char lfQuality = 0;
    unsigned char lfPitchAndFamily = 0;
    std::string lfFaceName = "Microsoft Sans Serif";
};

// The program's one text catalogue: language files found beside the program, the texts of the
// chosen one, and the built-in English texts behind them.
class CLanguage
{
public:
    enum class FileKind { Ansi, Unicode, Utf8 };

    CLanguage();

    // The folder holding the "language" folder: the program's folder, or its parent when the
    // parent has language/English.ini.
    static std::string GetLanguageRoot();
    // The same rule for an explicit program folder (tests, tools).
    static std::string GetLanguageRootFor(const std::string &programFolder);

    bool Initialize(const std::string &root, const std::string &requestedName);
    bool FindLanguageFiles();
    void SelectLanguage(const std::string &name);
    bool LoadLanguageFile(const std::string &name);
    // Internal lookup of a language name in the locale table.
    bool LookupLocale(const std::string &name, std::string *localeName, int *primaryLanguage,
                      int *subLanguage);

    std::string GetString(int number) const;
    std::string GetDialogString(int number) const;
    std::string GetDialogText(int number) const;
    std::string GetMenuText(int number) const;
    // False until a language file has been loaded.
    bool HasMenuTexts() const { return !m_menuList.empty(); }

    const std::string &GetCurrentLanguage() const { return m_strCurrentLanguage; }
    int GetLanguageCount() const { return static_cast<int>(m_languageNames.size()); }
    std::string GetLanguageName(int index) const;
    // The name the Language menu shows: the file's own name for its language
    // (IDS_LANGUAGE_NATIVE_NAME, "Deutsch"), else the language name.
    std::string GetLanguageDisplayName(int index) const;

    FileKind GetFileKind() const { return m_fileKind; }
    int GetPrimaryLanguage() const { return m_nPrimaryLanguage; }
    int GetSubLanguage() const { return m_nSubLanguage; }
    // False when the loaded file's name is not in the locale table (its language is unknown).
    bool HasKnownLocale() const { return m_bLocaleFound; }
    const std::string &GetLanguageFilePath() const { return m_strFilePath; }

    // The store each language's interface font is read from and saved to; without one the
    // default font is used and nothing is saved. The store must outlive its use here.
    void UseSettings(SettingsStore *store) { m_settings = store; }
    // Interface font of the current language, read from the settings store at every load.
    void CreateInterfaceFont();
    void SaveInterfaceFont(const LogFont &font);
    const LogFont &GetInterfaceFont() const { return m_interfaceFont; }
    bool HasInterfaceFont() const { return m_bHasFont; }

    // The one catalogue of the running program.
    static CLanguage &Instance();

private:
    using TextList = std::vector<std::pair<int, std::string>>;

    SettingsStore *m_settings = nullptr;
    std::string m_strCurrentLanguage = "english";
    std::vector<std::string> m_languageNames;
    TextList m_menuList;
    TextList m_stringList;
    TextList m_dialogList;
    std::string m_strRoot;
    std::string m_strFilePath;
    FileKind m_fileKind = FileKind::Ansi;
    int m_nPrimaryLanguage = 9;
    int m_nSubLanguage = 1;
    bool m_bLocaleFound = true;
    LogFont m_interfaceFont;
    bool m_bHasFont = false;
};
