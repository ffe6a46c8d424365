#include "platform/WidgetServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QStringList>

namespace platform {

namespace {

QMessageBox::Icon ToQtIcon(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Exclamation:
        return QMessageBox::Warning;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::Error:
        return QMessageBox::Critical;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons ToQtButtons(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

// Qt takes a filter's patterns from the last parentheses of its text, separated by blanks.
// A description that already shows its patterns keeps its words with blanks for the ";";
// any other gets the patterns appended.
QString ToQtFilter(const FileFilter &filter)
{
    QString description = QString::fromStdString(filter.description);
    QString patterns = QString::fromStdString(filter.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open >= 0 && description.endsWith(QLatin1Char(')'))) {
        description.replace(open, description.size() - open,
                            description.mid(open).replace(QLatin1Char(';'), QLatin1Char(' ')));
        return description;
    }
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

QString ToQtFilters(const std::vector<FileFilter> &filters, int selected, QString *selectedFilter)
{
    QStringList list;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        list << ToQtFilter(filters[i]);
        if (static_cast<int>(i) == selected)
            *selectedFilter = list.back();
    }
    return list.join(QStringLiteral(";;"));
}

} // namespace

BoxAnswer WidgetMessageBoxService::Show(const MessageBoxRequest &request)
{
    const bool owned = request.kind == BoxKind::Owned || request.kind == BoxKind::Application;
    QMessageBox box(ToQtIcon(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), ToQtButtons(request.buttons),
                    owned ? m_owner.data() : nullptr);
    if (m_fontSource)
        box.setFont(m_fontSource());
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return BoxAnswer::Cancel;
    case QMessageBox::Yes:
        return BoxAnswer::Yes;
    case QMessageBox::No:
        return BoxAnswer::No;
    default:
        return BoxAnswer::Ok;
    }
}

std::optional<std::string> WidgetChooserService::OpenFile(const OpenFileRequest &request)
{
    QString selected;
    const QString filters = ToQtFilters(request.filters, request.selectedFilter, &selected);
    const QString path = QFileDialog::getOpenFileName(
        m_owner, QString::fromStdString(request.title),
        QString::fromStdString(request.initialFolder), filters, &selected);
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> WidgetChooserService::SaveFile(const SaveFileRequest &request)
{
    QString selected;
    const QString filters = ToQtFilters(request.filters, request.selectedFilter, &selected);
    // A modal dialog asking for the path (the options dialog) owns the chooser, so it opens
    // above it.
    QWidget *owner = QApplication::activeModalWidget();
    const QString path = QFileDialog::getSaveFileName(
        owner ? owner : m_owner.data(), QString::fromStdString(request.title),
        QString::fromStdString(request.initialPath), filters, &selected,
        QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> WidgetChooserService::ChooseFont(const FontRequest &request)
{
    QFont initial;
    if (!request.initialFont.empty())
        initial.fromString(QString::fromStdString(request.initialFont));
    // The chooser offers underline and strike-out on its own; it has no colour to drop.
    QFontDialog::FontDialogOptions options;
    if (!request.screenFonts)
        options |= QFontDialog::ScalableFonts;
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, m_owner, QString(), options);
    if (!ok)
        return std::nullopt;
    return chosen.toString().toStdString();
}

} // namespace platform
