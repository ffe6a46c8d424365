#include "platform/WidgetServices.h"

#include <QFileDialog>
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

// "*.mpeg;*.avi" -> "Description (*.mpeg *.avi)" as Qt expects its name filters.
QString ToQtFilters(const std::vector<FileFilter> &filters, int selected, QString *selectedFilter)
{
    QStringList list;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        QString patterns = QString::fromStdString(filters[i].patterns);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses of the entry.
        QString entry = QString::fromStdString(filters[i].description) + QStringLiteral(" (")
                        + patterns + QLatin1Char(')');
        list << entry;
        if (static_cast<int>(i) == selected)
            *selectedFilter = entry;
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
    const QString path = QFileDialog::getSaveFileName(
        m_owner, QString::fromStdString(request.title),
        QString::fromStdString(request.initialPath), filters, &selected,
        QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

} // namespace platform
