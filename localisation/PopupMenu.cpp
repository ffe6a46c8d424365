#include "localisation/PopupMenu.h"

#include "localisation/DialogLanguage.h"
#include "localisation/Language.h"
#include "platform/MessageBoxes.h"

#include <QMenu>
#include <QVariant>

#include <vector>

namespace {

constexpr int kMainDialogNumber = 102;
constexpr int kRestartMessage = 126;
constexpr int kWarningCaption = 108;

struct MenuTemplate
{
    int command; // 0 for a popup or a separator
    const char *text;
    std::vector<MenuTemplate> items;
    bool popup = false;
};

MenuTemplate Popup(const char *text, std::vector<MenuTemplate> items)
{
    return {0, text, std::move(items), true};
}

MenuTemplate Item(int command, const char *text)
{
    return {command, text, {}, false};
}

// Menu resource 160: one popup with the Language submenu (a placeholder until it is filled),
// Font and About.
const MenuTemplate *FindMenuTemplate(int number)
{
    static const MenuTemplate kPopupMenu = Popup(
        "", {Popup("Popup",
                   {Popup("Language", {Item(menus::IDM_LANGUAGE_PLACEHOLDER, "Languages")}),
                    Item(menus::IDM_POPUPMENU_FONT, "Font"), Item(menus::IDM_ABOUT, "About")})});
    return number == menus::IDR_POPUP_MENU ? &kPopupMenu : nullptr;
}

void Build(QMenu *menu, const std::vector<MenuTemplate> &items)
{
    for (const MenuTemplate &item : items) {
        if (item.popup) {
            QMenu *submenu = menu->addMenu(QString::fromUtf8(item.text));
            Build(submenu, item.items);
        } else if (item.command == 0) {
            menu->addSeparator();
        } else {
            menu->addAction(QString::fromUtf8(item.text))->setData(item.command);
        }
    }
}

QMenu *FirstSubmenu(const QMenu *menu)
{
    if (!menu)
        return nullptr;
    for (QAction *action : menu->actions()) {
        if (action->menu())
            return action->menu();
    }
    return nullptr;
}

bool EqualNoCase(const std::string &a, const std::string &b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

void RewriteMenu(QMenu *menu, int *counter, const CLanguage &language)
{
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        if (QMenu *submenu = action->menu()) {
            // A submenu is numbered before its own items are visited.
            const std::string text = language.GetMenuText((*counter)++);
            if (!text.empty())
                action->setText(CatalogueText(text));
            RewriteMenu(submenu, counter, language);
            continue;
        }
        const int command = MenuCommand(action);
        if (command == 0)
            continue;
        const std::string text = language.GetMenuText(command);
        if (!text.empty())
            action->setText(CatalogueText(text));
    }
}

} // namespace

std::unique_ptr<QMenu> LoadMenuResource(int number, QWidget *parent)
{
    const MenuTemplate *resource = FindMenuTemplate(number);
    if (!resource)
        return nullptr;
    auto menu = std::make_unique<QMenu>(parent);
    Build(menu.get(), resource->items);
    return menu;
}

int MenuCommand(const QAction *action)
{
    if (!action || action->isSeparator() || action->menu())
        return 0;
    bool ok = false;
    const int command = action->data().toInt(&ok);
    return ok ? command : 0;
}

bool ApplyToMenu(QMenu *menu, int resourceNumber)
{
    return ApplyToMenu(menu, resourceNumber, CLanguage::Instance());
}

bool ApplyToMenu(QMenu *menu, int resourceNumber, const CLanguage &language)
{
    if (!menu || !language.HasMenuTexts())
        return false;
    int counter = resourceNumber * menus::kSubmenuNumberFactor;
    // The top level stays as built; only what its popups hold is rewritten.
    for (QAction *action : menu->actions()) {
        if (QMenu *submenu = action->menu())
            RewriteMenu(submenu, &counter, language);
    }
    return true;
}

void FillLanguageMenu(QMenu *loadedMenu)
{
    FillLanguageMenu(loadedMenu, CLanguage::Instance());
}

void FillLanguageMenu(QMenu *loadedMenu, const CLanguage &language)
{
    QMenu *popup = FirstSubmenu(loadedMenu);
    QMenu *languages = FirstSubmenu(popup);
    if (!languages)
        return;
    const QList<QAction *> items = languages->actions();
    if (!items.isEmpty()) {
        languages->removeAction(items.first());
        delete items.first();
    }
    for (int i = 0; i < language.GetLanguageCount(); ++i) {
        const std::string name = language.GetLanguageName(i);
        // Each language under its own name, so a reader finds it without knowing English.
        QAction *item = languages->addAction(CatalogueText(language.GetLanguageDisplayName(i)));
        item->setData(menus::kFirstLanguageCommand + i);
        item->setCheckable(true);
        item->setChecked(EqualNoCase(name, language.GetCurrentLanguage()));
    }
    ApplyToMenu(loadedMenu, menus::IDR_POPUP_MENU, language);
}

int ShowPopupMenu(QWidget *mainWindow, const QPoint &clientPoint, int resourceNumber)
{
    const std::unique_ptr<QMenu> loaded = LoadMenuResource(resourceNumber, mainWindow);
    if (!loaded) {
        platform::ShowUnownedMessageBox("Can not find Language Menu!", "error");
        return 0;
    }
    QMenu *popup = FirstSubmenu(loaded.get());
    if (!popup)
        return 0;
    FillLanguageMenu(loaded.get());
    const QPoint screenPoint = mainWindow ? mainWindow->mapToGlobal(clientPoint) : clientPoint;
    return MenuCommand(popup->exec(screenPoint));
}

bool OnLanguageCommand(QWidget *mainWindow, int command)
{
    return OnLanguageCommand(mainWindow, command, CLanguage::Instance());
}

bool OnLanguageCommand(QWidget *mainWindow, int command, CLanguage &language)
{
    if (command < menus::kFirstLanguageCommand || command > menus::kLastLanguageCommand)
        return false;
    const int index = command - menus::kFirstLanguageCommand;
    // A number past the languages found names no file; switching to the fallback would be a
    // change nobody asked for.
    if (index >= language.GetLanguageCount())
        return true;
    language.SelectLanguage(language.GetLanguageName(index));
    ApplyToDialog(mainWindow, kMainDialogNumber, language);
    platform::ShowMessageBox(language.GetString(kRestartMessage),
                             language.GetString(kWarningCaption));
    return true;
}
