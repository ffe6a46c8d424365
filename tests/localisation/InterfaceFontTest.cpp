#include "localisation/InterfaceFont.h"
#include "LanguageFolder.h"
#include "app/AppTestSupport.h"
#include "app/VinteloDlg.h"
#include "localisation/DialogLanguage.h"
#include "localisation/Language.h"
#include "localisation/PopupMenu.h"
#include "platform/Sounds.h"
#include "platform/WidgetServices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace {

const char *const kFontValues[]
    = {"lfHeight",  "lfWidth",        "lfEscapement",    "lfOrientation",
       "lfWeight",  "lfItalic",       "lfUnderline",     "lfStrikeOut",
       "lfCharSet", "lfOutPrecision", "lfClipPrecision", "lfPitchAndFamily"};

bool HasFontSection(const SettingsStore &store, const std::string &section)
{
    for (const char *value : kFontValues) {
        if (store.ReadInt(section, value, 12345) != 12345)
            return true;
    }
    return store.ReadString(section, "lfFaceName", "none") != "none";
}

std::string BigBoldSerif()
{
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(20);
    font.setBold(true);
    font.setItalic(true);
    return font.toString().toStdString();
}

class InterfaceFont : public ::testing::Test
{
protected:
    void SetUp() override { CLanguage::Instance().UseSettings(&m_store); }
    void TearDown() override { CLanguage::Instance().UseSettings(nullptr); }

    QTemporaryDir m_settingsDir;
    SettingsStore m_store{m_settingsDir.path().toStdString() + "/settings.conf"};
    platform::MessageBoxRecorder m_boxes;
    platform::ChooserRecorder m_choosers;
};

} // namespace

TEST_F(InterfaceFont, APickedFontBelongsToItsLanguageAndComesBackWithIt)
{
    LanguageFolder folder;
    folder.Write("English.ini", "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Open Video\n");
    folder.Write("German.ini", "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Video \xC3\xB6"
                               "ffnen\n");
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "English"));

    QDialog window;
    auto *open = new QPushButton(&window);
    open->setProperty("controlId", 1006);
    auto *untouched = new QLabel("no text in any file", &window);
    untouched->setProperty("controlId", 1021);
    ApplyToDialog(&window, 102, language);

    // First run: the default font is used and nothing is written.
    EXPECT_FALSE(HasFontSection(m_store, "English"));
    EXPECT_EQ(open->font(), ToQFont(LogFont()));

    m_choosers.QueueFontAnswer(BigBoldSerif());
    ASSERT_TRUE(OnFont(&window, 102, language));
    ASSERT_EQ(m_choosers.FontRequests().size(), 1u);
    // The chooser opens on the current interface font.
    QFont initial;
    ASSERT_TRUE(
        initial.fromString(QString::fromStdString(m_choosers.FontRequests()[0].initialFont)));
    EXPECT_EQ(initial, ToQFont(LogFont()));
    EXPECT_TRUE(m_choosers.FontRequests()[0].effects);

    EXPECT_EQ(m_store.ReadInt("English", "lfHeight", 0), -20);
    EXPECT_EQ(m_store.ReadInt("English", "lfWeight", 0), 700);
    EXPECT_EQ(m_store.ReadInt("English", "lfItalic", 0), 1);
    EXPECT_EQ(m_store.ReadString("English", "lfFaceName", ""), "DejaVu Serif");
    EXPECT_EQ(open->font().pixelSize(), 20);
    EXPECT_TRUE(open->font().bold());
    EXPECT_EQ(open->font().family(), "DejaVu Serif");
    // A control the language gives no text (a status line) shows the chosen font too.
    EXPECT_EQ(untouched->font(), open->font());

    // The other language has its own (default) font and gets nothing written.
    ASSERT_TRUE(OnLanguageCommand(&window, 45401, language));
    EXPECT_EQ(open->text(), "Video \u00F6ffnen");
    EXPECT_EQ(open->font(), ToQFont(LogFont()));
    EXPECT_FALSE(HasFontSection(m_store, "German"));

    // Back again: the picked font returns from the store.
    ASSERT_TRUE(OnLanguageCommand(&window, 45400, language));
    EXPECT_EQ(open->font().pixelSize(), 20);
    EXPECT_TRUE(open->font().bold());
    EXPECT_TRUE(open->font().italic());
    EXPECT_EQ(open->font().family(), "DejaVu Serif");
    EXPECT_TRUE(std::all_of(m_boxes.Boxes().begin(), m_boxes.Boxes().end(),
                            [](const auto &box) { return box.text != "Failed to create font"; }));
}

TEST_F(InterfaceFont, CancelOrAnUnreadableAnswerChangesNothing)
{
    LanguageFolder folder;
    folder.Write("English.ini", "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Open Video\n");
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "English"));
    QDialog window;
    auto *open = new QPushButton(&window);
    open->setProperty("controlId", 1006);
    ApplyToDialog(&window, 102, language);
    const QFont before = open->font();

    EXPECT_FALSE(OnFont(&window, 102, language)); // no answer queued: cancelled
    m_choosers.QueueFontAnswer(std::string());
    EXPECT_FALSE(OnFont(&window, 102, language));
    EXPECT_EQ(m_choosers.FontRequests().size(), 2u);
    EXPECT_EQ(open->font(), before);
    EXPECT_FALSE(HasFontSection(m_store, "English"));
}

TEST_F(InterfaceFont, AStoredFontNoFontCanHaveIsReportedAndTheDefaultFontUsed)
{
    LanguageFolder folder;
    folder.Write("English.ini", "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Open Video\n");
    m_store.WriteInt("English", "lfHeight", -100000);
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "English"));
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].kind, platform::BoxKind::Unowned);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Failed to create font");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "Error");
    EXPECT_FALSE(language.HasInterfaceFont());

    // Controls then fall back to their default font.
    QDialog window;
    auto *open = new QPushButton(&window);
    open->setProperty("controlId", 1006);
    open->setFont(QFont("DejaVu Serif", 30));
    ApplyToDialog(&window, 102, language);
    EXPECT_EQ(open->text(), "Open Video");
    EXPECT_EQ(open->font(), QFont());

    // Weights are checked too; a usable record is quiet.
    m_store.WriteInt("English", "lfHeight", -13);
    m_store.WriteInt("English", "lfWeight", 5000);
    language.SelectLanguage("English");
    EXPECT_EQ(m_boxes.Boxes().size(), 2u);
    m_store.WriteInt("English", "lfWeight", 700);
    language.SelectLanguage("English");
    EXPECT_EQ(m_boxes.Boxes().size(), 2u);
    EXPECT_TRUE(language.HasInterfaceFont());
}

// The whole road through the main window: right-click, Language submenu, Font command.
TEST_F(InterfaceFont, ThroughTheMainWindowRightClickMenuAndFontCommand)
{
    AppTestEnvironment env;
    LanguageFolder folder;
    folder.Write("English.ini", "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Open Video\n");
    folder.Write("German.ini", "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Video \xC3\xB6"
                               "ffnen\n"
                               "[MENU]\nIDM_SELECT_LANGUAGE=Sprache\n");
    CLanguage &language = CLanguage::Instance();
    ASSERT_TRUE(language.Initialize(folder.Root(), "english"));

    CVinteloDlg dialog(env.store);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QWidget *open = dialog.Control(CVinteloDlg::IDC_BUTTON_ADD_VIDEO);

    // The window's command buttons carry the hover sound and the hand cursor.
    {
        platform::SoundRecorder sounds;
        QTest::mouseMove(&dialog,
                         dialog.Control(CVinteloDlg::IDC_BUTTON_EXIT)->geometry().center());
        QTest::mouseMove(&dialog, open->geometry().center());
        ASSERT_EQ(sounds.Count(), 2);
        EXPECT_EQ(sounds.Plays()[1].resource, 144);
        EXPECT_EQ(open->cursor().shape(), Qt::BitmapCursor);
    }

    // A right click on a button is the button's own; no menu opens.
    bool popupSeen = false;
    auto closePopups = [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            popupSeen = true;
            popup->close();
        }
    };
    QTimer::singleShot(0, closePopups);
    QTest::mouseClick(open, Qt::RightButton);
    QApplication::processEvents();
    EXPECT_FALSE(popupSeen);

    // On the window itself: the menu, its Language submenu, German.
    QTimer::singleShot(0, [] {
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_TRUE(popup);
        popup->setActiveAction(popup->actions()[0]);
        QTest::keyClick(popup, Qt::Key_Right);
        QTimer::singleShot(0, [] {
            QWidget *languages = QApplication::activePopupWidget();
            ASSERT_TRUE(languages);
            QTest::keyClick(languages, Qt::Key_Down);
            QTest::keyClick(languages, Qt::Key_Return);
        });
    });
    const QPoint empty = dialog.DialogUnitsToPixels(QRect(100, 150, 1, 1)).topLeft();
    ASSERT_EQ(dialog.childAt(empty), nullptr);
    QTest::mouseClick(&dialog, Qt::RightButton, {}, empty);
    EXPECT_EQ(language.GetCurrentLanguage(), "German");
    EXPECT_EQ(qobject_cast<QAbstractButton *>(open)->text(), "Video \u00F6ffnen");
    ASSERT_FALSE(env.boxes.Boxes().empty());
    EXPECT_EQ(env.boxes.Boxes().back().text, "Please restart the program");

    // Font through the command the menu sends.
    env.choosers.QueueFontAnswer(BigBoldSerif());
    dialog.OnCommand(menus::IDM_POPUPMENU_FONT);
    EXPECT_EQ(open->font().pixelSize(), 20);
    EXPECT_EQ(env.store.ReadInt("German", "lfHeight", 0), -20);
    EXPECT_FALSE(HasFontSection(env.store, "english"));
    language.Initialize(folder.Root() + "/none", "english");
}

TEST_F(InterfaceFont, TheWindowProgramsChooserOpensOnTheFontAndReturnsTheChoice)
{
    platform::WidgetChooserService chooser;
    QFont initial(QStringLiteral("DejaVu Sans"));
    initial.setPixelSize(13);
    platform::FontRequest request;
    request.initialFont = initial.toString().toStdString();

    QFont shown;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFontDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        shown = dialog->currentFont();
        dialog->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 14));
        dialog->accept();
    });
    const std::optional<std::string> chosen = chooser.ChooseFont(request);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(shown.family(), "DejaVu Sans");
    QFont font;
    ASSERT_TRUE(font.fromString(QString::fromStdString(*chosen)));
    EXPECT_EQ(font.family(), "DejaVu Serif");
    EXPECT_EQ(font.pointSize(), 14);

    QTimer::singleShot(0, [] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            static_cast<QDialog *>(dialog)->reject();
    });
    EXPECT_FALSE(chooser.ChooseFont(request));
}
