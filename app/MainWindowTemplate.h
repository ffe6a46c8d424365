#pragma once

#include <QSize>

#include <map>
#include <vector>

class QWidget;

// Template 102, the main window: its size and its controls in dialog units, and the looks of
// its bitmap buttons. The control numbers are CVinteloDlg's.
namespace mainwindow {

// Client size of the template in dialog units.
constexpr QSize kTemplateSize(357, 196);

// The numbered controls as they appear on screen: rows from the top, each from the left. Tab
// follows this order.
std::vector<int> ScreenOrder();

// Creates every control of the template as a direct child of dialog, in the template's order,
// chained for Tab in screen order, each carrying its number as "controlId", placed with the
// given dialog base units. The group box has no number and is not in the map.
std::map<int, QWidget *> CreateTemplateControls(QWidget *dialog, const QSize &baseUnits);

// Icons, hover sound and cursor, and tooltips of the bitmap buttons among controls.
void DecorateButtons(const std::map<int, QWidget *> &controls);

} // namespace mainwindow
