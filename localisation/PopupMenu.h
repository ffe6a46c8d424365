#pragma once

#include <QPoint>

#include <memory>

class CLanguage;
class QAction;
class QMenu;
class QWidget;

// The main window's right-click menu: menu resources, their texts from the catalogue, the
// Language submenu and switching between languages.
namespace menus {

constexpr int IDR_POPUP_MENU = 160;
constexpr int IDM_ABOUT = 32778;
constexpr int IDM_LANGUAGE_PLACEHOLDER = 32779;
constexpr int IDM_POPUPMENU_FONT = 32780;
constexpr int kFirstLanguageCommand = 45400;
constexpr int kLastLanguageCommand = 46399;
// Submenus below a menu resource's top level are numbered resource x 65536 + n.
constexpr int kSubmenuNumberFactor = 65536;

} // namespace menus

// A menu resource built from its description: the top level holds the popups, as a menu bar
// would. Nothing for an unknown number.
std::unique_ptr<QMenu> LoadMenuResource(int number, QWidget *parent = nullptr);
// The command number of an item: 0 for separators and items that open a submenu.
int MenuCommand(const QAction *action);

// Rewrites the items below the top level with the catalogue's menu texts; submenus are looked
// up by their number. False (nothing changed) when the catalogue has no menu texts.
bool ApplyToMenu(QMenu *menu, int resourceNumber);
bool ApplyToMenu(QMenu *menu, int resourceNumber, const CLanguage &language);

// Replaces the Language submenu's items by one item per language file (45400 + i, the current
// one checked), each shown under the file's own name for its language, then applies the
// catalogue to the menu.
void FillLanguageMenu(QMenu *loadedMenu);
void FillLanguageMenu(QMenu *loadedMenu, const CLanguage &language);

// Shows the popup of the menu resource at a point of the main window's client area and returns
// the chosen command, 0 when nothing was chosen.
int ShowPopupMenu(QWidget *mainWindow, const QPoint &clientPoint,
                  int resourceNumber = menus::IDR_POPUP_MENU);

// Switches to language N - 45400 for N in 45400..46399: reloads it, re-applies the main
// window's texts and asks for a restart. False for any other number (not handled).
bool OnLanguageCommand(QWidget *mainWindow, int command);
bool OnLanguageCommand(QWidget *mainWindow, int command, CLanguage &language);
