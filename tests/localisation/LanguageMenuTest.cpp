#include "LanguageFolder.h"
#include "localisation/DialogLanguage.h"
#include "localisation/Language.h"
#include "localisation/PopupMenu.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const char kGerman[] = "[MENU]\n"
                       "IDM_SELECT_LANGUAGE=Sprache\n"
                       "IDM_POPUPMENU_FONT=Schriftart\n"
                       "IDM_ABOUT=&\xC3\x9C"
                       "ber\n"
                       "[DIALOG]\n"
                       "IDC_BUTTON_ADD_VIDEO=Video \xC3\xB6"
                       "ffnen\n"
                       "[STRING]\n"
                       "IDS_MESSAGE_RESTART_PROGRAM=Bitte neu starten\n"
                       "IDS_MESSAGE_WARNING=Warnung\n";
const char kEnglish[] = "[DIALOG]\nIDC_BUTTON_ADD_VIDEO=Open Video\n";

class LanguageMenu : public ::testing::Test
{
protected:
    void SetUp() override { CLanguage::Instance().UseSettings(&m_store); }
    void TearDown() override { CLanguage::Instance().UseSettings(nullptr); }

    QTemporaryDir m_settingsDir;
    SettingsStore m_store{m_settingsDir.path().toStdString() + "/settings.conf"};
    platform::MessageBoxRecorder m_boxes;
};

QMenu *Submenu(QMenu *menu, int index = 0)
{
    int seen = 0;
    for (QAction *action : menu->actions()) {
        if (action->menu() && seen++ == index)
            return action->menu();
    }
    return nullptr;
}

QStringList Texts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << action->text();
    return texts;
}

} // namespace

TEST_F(LanguageMenu, ListsEveryLanguageFileAndChecksTheCurrentOneWhateverItsCase)
{
    LanguageFolder folder;
    folder.Write("German.ini", kGerman);
    folder.Write("English.ini", kEnglish);
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "GERMAN"));

    const auto menu = LoadMenuResource(menus::IDR_POPUP_MENU);
    ASSERT_TRUE(menu);
    QMenu *popup = Submenu(menu.get());
    ASSERT_TRUE(popup);
    QMenu *languages = Submenu(popup);
    ASSERT_TRUE(languages);
    ASSERT_EQ(languages->actions().size(), 1); // the placeholder

    FillLanguageMenu(menu.get(), language);
    const QList<QAction *> items = languages->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "English");
    EXPECT_EQ(MenuCommand(items[0]), 45400);
    EXPECT_FALSE(items[0]->isChecked());
    EXPECT_EQ(items[1]->text(), "German");
    EXPECT_EQ(MenuCommand(items[1]), 45401);
    EXPECT_TRUE(items[1]->isChecked());

    // The menu keys of the file rename the submenu and both commands.
    EXPECT_EQ(Texts(popup), QStringList({"Sprache", "Schriftart", "&\u00DCber"}));
    EXPECT_EQ(MenuCommand(popup->actions()[1]), menus::IDM_POPUPMENU_FONT);
    EXPECT_EQ(MenuCommand(popup->actions()[2]), menus::IDM_ABOUT);
    EXPECT_EQ(MenuCommand(popup->actions()[0]), 0);

    // A file without menu keys leaves the built-in texts.
    language.SelectLanguage("english");
    const auto english = LoadMenuResource(menus::IDR_POPUP_MENU);
    FillLanguageMenu(english.get(), language);
    EXPECT_EQ(Texts(Submenu(english.get())), QStringList({"Language", "Font", "About"}));
    EXPECT_TRUE(Submenu(Submenu(english.get()))->actions()[0]->isChecked());

    // The shipped files, in the order of their names, each under its language's name in itself.
    ASSERT_TRUE(language.Initialize(CW_SOURCE_DIR, "Japanese"));
    const auto shipped = LoadMenuResource(menus::IDR_POPUP_MENU);
    FillLanguageMenu(shipped.get(), language);
    const QList<QAction *> shippedItems = Submenu(Submenu(shipped.get()))->actions();
    EXPECT_EQ(Texts(Submenu(Submenu(shipped.get()))),
              QStringList({"简体中文", "English", "Français", "Deutsch", "Italiano", "日本語",
                           "Polski", "Português (Brasil)", "Русский", "Español"}));
    ASSERT_EQ(shippedItems.size(), 10);
    EXPECT_TRUE(shippedItems[5]->isChecked());
    EXPECT_EQ(MenuCommand(shippedItems[9]), 45409);
    EXPECT_EQ(Texts(Submenu(shipped.get())),
              QStringList({"言語", "フォント", "バージョン情報(&A)"}));
    EXPECT_TRUE(m_boxes.Boxes().empty());

    EXPECT_EQ(LoadMenuResource(161), nullptr);
}

TEST_F(LanguageMenu, SubmenusAreNumberedDepthFirstFromTheResourceNumber)
{
    LanguageFolder folder;
    folder.Write("German.ini", kGerman);
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "German"));

    // Top level "bar" -> popup -> [Outer -> [Inner], Font]; only 160 x 65536 + 0 has a text.
    QMenu bar;
    QMenu *popup = bar.addMenu("Popup");
    QMenu *outer = popup->addMenu("Outer");
    QMenu *inner = outer->addMenu("Inner");
    popup->addSeparator();
    popup->addAction("Font")->setData(menus::IDM_POPUPMENU_FONT);
    ASSERT_TRUE(ApplyToMenu(&bar, menus::IDR_POPUP_MENU, language));
    // The outer submenu is counted before its own items: it is 10485760, the inner one 10485761.
    EXPECT_EQ(outer->title(), "Sprache");
    EXPECT_EQ(inner->title(), "Inner");
    EXPECT_EQ(popup->title(), "Popup"); // the top level stays as built
    EXPECT_EQ(popup->actions()[2]->text(), "Schriftart");

    // The counter restarts with every rewrite, and another resource number finds nothing.
    outer->setTitle("Outer");
    ASSERT_TRUE(ApplyToMenu(&bar, menus::IDR_POPUP_MENU, language));
    EXPECT_EQ(outer->title(), "Sprache");
    outer->setTitle("Outer");
    ASSERT_TRUE(ApplyToMenu(&bar, 161, language));
    EXPECT_EQ(outer->title(), "Outer");
}

TEST_F(LanguageMenu, WithoutLanguageFilesTheSubmenuIsEmptyAndTextsStayBuiltIn)
{
    LanguageFolder folder;
    CLanguage language;
    language.UseSettings(&m_store);
    EXPECT_FALSE(language.Initialize(folder.Root(), "english"));

    const auto menu = LoadMenuResource(menus::IDR_POPUP_MENU);
    FillLanguageMenu(menu.get(), language);
    QMenu *popup = Submenu(menu.get());
    EXPECT_TRUE(Submenu(popup)->actions().isEmpty());
    EXPECT_EQ(Texts(popup), QStringList({"Language", "Font", "About"}));
    EXPECT_FALSE(ApplyToMenu(menu.get(), menus::IDR_POPUP_MENU, language));
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(LanguageMenu, PickingALanguageReloadsReappliesAndAsksForARestart)
{
    LanguageFolder folder;
    folder.Write("English.ini", kEnglish);
    folder.Write("German.ini", kGerman);
    CLanguage language;
    language.UseSettings(&m_store);
    ASSERT_TRUE(language.Initialize(folder.Root(), "german"));

    QDialog window;
    auto *open = new QPushButton("changed by hand", &window);
    open->setProperty("controlId", 1006);

    // Numbers outside the language range are not handled and do nothing.
    for (int command : {45399, 46400, menus::IDM_POPUPMENU_FONT, 0})
        EXPECT_FALSE(OnLanguageCommand(&window, command, language)) << command;
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_EQ(open->text(), "changed by hand");

    // The current language again: still reloaded, re-applied and the restart asked for.
    ASSERT_TRUE(OnLanguageCommand(&window, 45401, language));
    EXPECT_EQ(language.GetCurrentLanguage(), "German");
    EXPECT_EQ(open->text(), "Video \u00F6ffnen");
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].kind, platform::BoxKind::Owned);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Bitte neu starten");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "Warnung");

    // The message comes in the new language.
    ASSERT_TRUE(OnLanguageCommand(&window, 45400, language));
    EXPECT_EQ(language.GetCurrentLanguage(), "English");
    EXPECT_EQ(open->text(), "Open Video");
    ASSERT_EQ(m_boxes.Boxes().size(), 2u);
    EXPECT_EQ(m_boxes.Boxes()[1].text, "Please restart the program");
    EXPECT_EQ(m_boxes.Boxes()[1].caption, "Warning");

    // A number in range past the files found is taken but switches nothing.
    EXPECT_TRUE(OnLanguageCommand(&window, 45402, language));
    EXPECT_EQ(language.GetCurrentLanguage(), "English");
    EXPECT_EQ(m_boxes.Boxes().size(), 2u);
}

TEST_F(LanguageMenu, ShowPopupMenuTracksThePopupAndReturnsTheChoice)
{
    LanguageFolder folder;
    folder.Write("English.ini", kEnglish);
    folder.Write("German.ini", kGerman);
    CLanguage &language = CLanguage::Instance();
    ASSERT_TRUE(language.Initialize(folder.Root(), "English"));

    QDialog window;
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QStringList seen;
    QPoint shownAt;
    QTimer::singleShot(0, [&] {
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_TRUE(popup);
        shownAt = popup->pos();
        seen = Texts(popup);
        popup->setActiveAction(popup->actions()[0]);
        QTest::keyClick(popup, Qt::Key_Right); // opens Language on its first item
        QTimer::singleShot(0, [&] {
            auto *languages = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            ASSERT_TRUE(languages);
            seen << Texts(languages);
            QTest::keyClick(languages, Qt::Key_Down);
            QTest::keyClick(languages, Qt::Key_Return);
        });
    });
    const int command = ShowPopupMenu(&window, QPoint(40, 30));
    EXPECT_EQ(command, 45401);
    EXPECT_EQ(seen, QStringList({"Language", "Font", "About", "English", "German"}));
    EXPECT_EQ(shownAt, window.mapToGlobal(QPoint(40, 30)));

    // Escape chooses nothing.
    QTimer::singleShot(0, [] {
        if (QWidget *popup = QApplication::activePopupWidget())
            QTest::keyClick(popup, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowPopupMenu(&window, QPoint(10, 10)), 0);

    // A missing menu resource is reported and nothing is shown.
    EXPECT_EQ(ShowPopupMenu(&window, QPoint(10, 10), 161), 0);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].kind, platform::BoxKind::Unowned);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Can not find Language Menu!");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "error");
    language.Initialize(folder.Root() + "/none", "english");
}
