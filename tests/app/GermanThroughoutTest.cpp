#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/MainCommands.h"
#include "app/VinteloDlg.h"
#include "convert/ConversionDriver.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "localisation/QtTranslations.h"
#include "options/DialogOutputSettings.h"
#include "platform/WidgetServices.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

#include <map>
#include <string_view>

namespace {

using Texts = std::map<std::string, QString>;

// What a person reads on window: its caption, and the texts, titles, list entries and tooltips
// of its shown controls. Edits and lists hold the user's data (a path, font names), not ours.
void CollectTexts(QWidget *window, const std::string &where, Texts *texts)
{
    (*texts)[where + " caption"] = window->windowTitle();
    int index = 0;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const std::string key
            = where + " " + widget->metaObject()->className() + " #" + std::to_string(index++);
        if (!widget->isVisibleTo(window) || qobject_cast<QLineEdit *>(widget)
            || qobject_cast<QAbstractItemView *>(widget))
            continue;
        if (!widget->toolTip().isEmpty())
            (*texts)[key + " tooltip"] = widget->toolTip();
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            (*texts)[key] = button->text();
        else if (auto *label = qobject_cast<QLabel *>(widget))
            (*texts)[key] = label->text();
        else if (auto *group = qobject_cast<QGroupBox *>(widget))
            (*texts)[key] = group->title();
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            (*texts)[key] = combo->currentText();
        // Our own lists show every entry the user may pick.
        if (auto *combo = qobject_cast<QComboBox *>(widget);
            combo && widget->property("controlId").isValid())
            for (int i = 0; i < combo->count(); ++i)
                (*texts)[key + " item " + std::to_string(i)] = combo->itemText(i);
    }
}

// Names, numbers and the words German writes as English does may stay as they are.
bool MayStayEnglish(QString text)
{
    static const QRegularExpression names(
        QStringLiteral(R"(\b(WMV|ASF|MP4|MKV|AVI|Ogg|OGM|Clipwright|OK|Pause|Homepage|Version)\b)"
                       R"(|(https?|mailto):\S+|&)"));
    return !text.remove(names).contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

// Every text of german that equals its English counterpart and is more than a name.
std::vector<std::string> StillEnglish(const Texts &english, const Texts &german)
{
    std::vector<std::string> found;
    for (const auto &[key, text] : german) {
        const auto counterpart = english.find(key);
        if (counterpart == english.end() || text != counterpart->second || MayStayEnglish(text))
            continue;
        found.push_back(key + ": " + text.toStdString());
    }
    return found;
}

QFont DistinctFont()
{
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPointSize(15);
    return font;
}

// The program's windows and prompts as one language shows them.
Texts TextsIn(const char *languageName, const QString &video)
{
    AppTestEnvironment env;
    CLanguage &language = CLanguage::Instance();
    EXPECT_TRUE(language.Initialize(CW_BINARY_DIR "/bin", languageName));
    language.SaveInterfaceFont(FromQFont(DistinctFont()));
    const std::string where = std::string(languageName) + ":";
    Texts texts;

    CVinteloDlg dialog(env.store);
    dialog.show();
    CollectTexts(&dialog, where + " main", &texts);
    const std::string output = env.dir.path().toStdString() + "/output.wmv";
    dialog.Job().m_szOutputFile = output;
    env.choosers.QueueAnswer(video.toStdString());
    qobject_cast<QAbstractButton *>(dialog.Control(CVinteloDlg::IDC_BUTTON_ADD_VIDEO))->click();
    EXPECT_EQ(dialog.Job().m_nPhotoCount, 1) << where;
    // The file chooser's title and filters.
    for (const platform::OpenFileRequest &request : env.choosers.OpenRequests()) {
        texts[where + " open chooser caption"] = QString::fromStdString(request.title);
        for (std::size_t i = 0; i < request.filters.size(); ++i)
            texts[where + " open chooser filter " + std::to_string(i)]
                = QString::fromStdString(request.filters[i].description);
    }
    CollectTexts(&dialog, where + " main with video", &texts);

    {
        CDialogOutputSettings options(env.store, &dialog);
        options.m_szOutputFile = output;
        options.OnInitDialog();
        options.show();
        CollectTexts(&options, where + " options", &texts);
    }
    {
        CAboutDlg about(&dialog);
        about.show();
        CollectTexts(&about, where + " about", &texts);
    }

    // The font chooser and the replace prompt as the window program shows them: Qt's own
    // dialogs, driven here through the widget services.
    platform::WidgetChooserService choosers(&dialog);
    platform::WidgetMessageBoxService boxes(&dialog);
    boxes.SetFontSource([] { return InterfaceQFont(CLanguage::Instance()); });
    platform::ChooserService *previousChoosers = platform::SetChooserService(&choosers);
    platform::MessageBoxService *previousBoxes = platform::SetMessageBoxService(&boxes);
    AutoCloseModal closer;
    closer.Examine([&](QWidget *modal) {
        if (qobject_cast<QFontDialog *>(modal)) {
            CollectTexts(modal, where + " font dialog", &texts);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            CollectTexts(modal, where + " replace prompt", &texts);
            // Boxes take the interface font, as the windows do.
            EXPECT_EQ(box->font().family(), DistinctFont().family()) << where;
            EXPECT_EQ(box->font().pixelSize(), InterfaceQFont(language).pixelSize()) << where;
            for (QAbstractButton *button : box->buttons())
                EXPECT_EQ(button->font().family(), DistinctFont().family()) << where;
            // No keeps the old file and starts nothing.
            box->button(QMessageBox::No)->click();
        }
    });
    dialog.OnFont();
    QFile(QString::fromStdString(output)).open(QIODevice::WriteOnly);
    dialog.OnConvert();
    EXPECT_EQ(dialog.Job().m_bConverting, 0) << where;
    platform::SetChooserService(previousChoosers);
    platform::SetMessageBoxService(previousBoxes);
    EXPECT_EQ(closer.Closed(), (std::vector<std::string>{"QFontDialog", "QMessageBox"})) << where;

    // The status line while converting and after a stop.
    texts[where + " elapsed"] = QString::fromStdString(ElapsedTimeText(12));
    texts[where + " stopped"]
        = QString::fromStdString(StoppedText(dialog.Job(), 415 * UNITS / 10, 120 * UNITS));
    texts[where + " stopped empty"]
        = QString::fromStdString(FormatText(language.GetString(IDS_STOPPED_EMPTY), {output}));
    texts[where + " frame rate"]
        = QString::fromStdString(language.GetString(IDS_FRAME_RATE_TOO_SMALL));
    return texts;
}

// Keys without the language's name, so English and German line up.
Texts WithoutLanguage(const Texts &texts, const std::string &languageName)
{
    Texts result;
    for (const auto &[key, text] : texts)
        result[key.substr(languageName.size() + 1)] = text;
    return result;
}

} // namespace

// With German chosen every text of the windows, of Qt's font chooser and buttons, of the replace
// prompt and of the progress and stop lines is German; only names stay.
TEST(GermanThroughout, NoVisibleTextStaysEnglish)
{
    ASSERT_TRUE(QFileInfo::exists(QtTranslationsFolder() + "/qtbase_de.qm"))
        << "Qt's translations are missing (qt6-translations-l10n)";
    const QString video = QString::fromStdString(Fixture("h264_aac.mp4"));
    const Texts english = WithoutLanguage(TextsIn("English", video), "English");
    const Texts german = WithoutLanguage(TextsIn("German", video), "German");

    // The walk saw every surface, and the same controls in both languages.
    for (const char *surface : {" main ", " options ", " about ", " font dialog ",
                                " replace prompt ", " open chooser "}) {
        const auto count = std::count_if(german.begin(), german.end(), [&](const auto &entry) {
            return (" " + entry.first).find(surface) != std::string::npos;
        });
        EXPECT_GE(count, 3) << surface;
    }
    EXPECT_EQ(english.size(), german.size());

    const std::vector<std::string> stillEnglish = StillEnglish(english, german);
    std::string list;
    for (const std::string &entry : stillEnglish)
        list += entry + "\n";
    EXPECT_TRUE(stillEnglish.empty()) << list;

    // Qt's own words, not only ours.
    EXPECT_EQ(german.at(" replace prompt caption"), "Warnung");
    EXPECT_EQ(english.at(" replace prompt caption"), "Warning");
    EXPECT_TRUE(german.at(" elapsed").startsWith("Bitte warten"));
    EXPECT_TRUE(german.at(" stopped").startsWith("Abgebrochen: 41.50 s von 120.00 s"))
        << german.at(" stopped").toStdString();
    EXPECT_EQ(english.at(" stopped").left(42), "Stopped: 41.50 s of 120.00 s written. Outp");
}

// The check itself: a text left in English is named, names and numbers are not.
TEST(GermanThroughout, TheCheckNamesWhatStayedEnglish)
{
    const Texts english{{"a", "Convert"}, {"b", "WMV"},  {"c", "640*480"}, {"d", "Version 1.0"},
                        {"e", "&OK"},     {"f", "Help"}, {"g", "Kbps"}};
    const Texts german{{"a", "Konvertieren"}, {"b", "WMV"},  {"c", "640*480"}, {"d", "Version 1.0"},
                       {"e", "&OK"},          {"f", "Help"}, {"g", "Kbps"}};
    EXPECT_EQ(StillEnglish(english, german), (std::vector<std::string>{"f: Help", "g: Kbps"}));
}

// Qt's translation follows the language chosen at run time: a switch to German and back turns
// Qt's buttons German and English again, without a restart; a file named after no known
// language leaves Qt in English.
TEST(GermanThroughout, QtTextsFollowALanguageSwitch)
{
    AppTestEnvironment env;
    CLanguage &language = CLanguage::Instance();
    const auto yes = [] {
        QMessageBox box(QMessageBox::Question, "t", "t", QMessageBox::Yes | QMessageBox::No);
        return box.button(QMessageBox::Yes)->text().remove('&');
    };
    QDir(env.dir.path()).mkpath("language");
    for (const char *name : {"English", "German", "Chinese"})
        QFile(env.dir.filePath(QString("language/%1.ini").arg(name))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(language.Initialize(env.dir.path().toStdString(), "English"));
    EXPECT_EQ(yes(), "Yes");
    language.SelectLanguage("German");
    EXPECT_EQ(yes(), "Ja");
    language.SelectLanguage("English");
    EXPECT_EQ(yes(), "Yes");
    language.SelectLanguage("German");
    ASSERT_EQ(yes(), "Ja");
    language.SelectLanguage("Chinese");
    EXPECT_EQ(yes(), "Yes");
    EXPECT_EQ(env.boxes.Boxes().size(), 1u); // the warning about the unknown name

    EXPECT_FALSE(InstallQtTranslation(QLocale(QLocale::English)));
    EXPECT_TRUE(InstallQtTranslation(QLocale(QLocale::German, QLocale::Austria)));
    EXPECT_EQ(yes(), "Ja");
    RemoveQtTranslation();
    EXPECT_EQ(yes(), "Yes");
}

// Help opens the German pages with German chosen (any German file name), the English pages with
// any other language, and the English ones when the German set is not installed.
TEST(GermanThroughout, HelpOpensThePagesOfTheChosenLanguage)
{
    AppTestEnvironment env;
    CLanguage &language = CLanguage::Instance();
    const std::string program = QCoreApplication::applicationDirPath().toStdString();
    ASSERT_TRUE(language.Initialize(CW_BINARY_DIR "/bin", "German"));
    EXPECT_EQ(maincommands::HelpPagePath(), program + "/help/de/Introduction.htm");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(maincommands::HelpPagePath())));

    CVinteloDlg dialog(env.store);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    qobject_cast<QAbstractButton *>(dialog.Control(CVinteloDlg::IDC_BUTTON_HELP))->click();
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(env.shell.Opened(),
              std::vector<std::string>(2, program + "/help/de/Introduction.htm"));

    // Other names of German, other languages, and a folder without the German set.
    QTemporaryDir root;
    QDir(root.path()).mkpath("language");
    QDir(root.path()).mkpath("help/de");
    for (const char *name : {"English", "German_Austria", "DEU", "French", "Chinese"})
        QFile(root.filePath(QString("language/%1.ini").arg(name))).open(QIODevice::WriteOnly);
    QFile(root.filePath("help/de/Introduction.htm")).open(QIODevice::WriteOnly);
    const std::string folder = root.path().toStdString();
    const std::map<std::string, std::string> expected{
        {"English", "/help/Introduction.htm"},
        {"German_Austria", "/help/de/Introduction.htm"},
        {"DEU", "/help/de/Introduction.htm"},
        {"French", "/help/Introduction.htm"},
        {"Chinese", "/help/Introduction.htm"}};
    for (const auto &[name, page] : expected) {
        ASSERT_TRUE(language.Initialize(folder, "German"));
        language.SelectLanguage(name); // Chinese is no known language
        EXPECT_EQ(maincommands::HelpPagePath(folder, language), folder + page) << name;
    }
    // A language whose pages are missing says on the About box that the help is English; a
    // name of no known language says nothing.
    for (const auto &[name, only] : std::map<std::string, bool>{
             {"English", false}, {"German_Austria", false}, {"French", true}, {"Chinese", false}}) {
        language.SelectLanguage(name);
        EXPECT_EQ(maincommands::HelpOnlyInEnglish(folder, language), only) << name;
    }
    for (const char *name : {"French", "Japanese", "German", "English"}) {
        ASSERT_TRUE(language.Initialize(CW_BINARY_DIR "/bin", name));
        CAboutDlg about;
        auto *note = qobject_cast<QLabel *>(about.Control(CAboutDlg::IDC_STATIC_HELP_NOTE));
        const bool german = std::string_view(name) == "German";
        const bool english = std::string_view(name) == "English";
        ASSERT_EQ(note != nullptr, !german && !english) << name;
        if (note) {
            EXPECT_EQ(note->text().toStdString(), language.GetString(IDS_HELP_IN_ENGLISH));
        }
    }
    ASSERT_TRUE(language.Initialize(folder, "DEU"));
    language.SelectLanguage("DEU");
    EXPECT_EQ(maincommands::HelpPagePath(env.dir.path().toStdString(), language),
              env.dir.path().toStdString() + "/help/Introduction.htm");
    language.Initialize(env.dir.path().toStdString(), "english");
}
