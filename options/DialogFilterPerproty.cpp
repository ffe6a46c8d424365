#include "options/DialogFilterPerproty.h"

#include "options/PropertyDialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CDialogFilterPerproty::CDialogFilterPerproty(media::Filter graph, QWidget *parent)
    : QDialog(parent)
    , m_graph(std::move(graph))
{
    setObjectName(QStringLiteral("CDialogFilterPerproty"));
    setProperty("controlId", static_cast<int>(kDialogNumber));
    setWindowTitle(QStringLiteral("Set Filter's Properties"));

    m_list = new QListWidget;
    m_list->setProperty("controlId", static_cast<int>(IDC_LIST_FILTERS));
    m_settings = new QPushButton(QStringLiteral("&Settings"));
    m_settings->setProperty("controlId", static_cast<int>(IDC_BUTTON_SETTINGS));
    m_settings->setEnabled(false);
    m_settings->setAutoDefault(false);
    auto *carryOn = new QPushButton(QStringLiteral("&Continue"));
    carryOn->setProperty("controlId", static_cast<int>(IDCANCEL));
    carryOn->setAutoDefault(false);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_settings);
    buttons->addWidget(carryOn);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(420, 240);

    connect(m_list, &QListWidget::currentRowChanged, this,
            &CDialogFilterPerproty::OnSelectionChange);
    connect(m_settings, &QPushButton::clicked, this, &CDialogFilterPerproty::OnSettings);
    connect(carryOn, &QPushButton::clicked, this, &QDialog::reject);
    OnInitDialog();
}

void CDialogFilterPerproty::OnInitDialog()
{
    std::vector<media::Filter> filters;
    if (FAILED(m_graph.Children(&filters))) {
        m_list->addItem(QStringLiteral("<ERROR>"));
    } else {
        for (const media::Filter &filter : filters) {
            const std::string name = filter.Name();
            m_list->addItem(name.empty() ? QStringLiteral("<ERROR>")
                                         : QString::fromStdString(name));
        }
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    OnSelectionChange();
}

media::Filter CDialogFilterPerproty::SelectedFilter() const
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return media::Filter();
    const std::string text = item->text().toStdString();
    std::vector<media::Filter> filters;
    if (FAILED(m_graph.Children(&filters)))
        return media::Filter();
    for (const media::Filter &filter : filters) {
        if (filter.Name() == text)
            return filter;
    }
    return media::Filter();
}

void CDialogFilterPerproty::OnSelectionChange()
{
    const media::Filter filter = SelectedFilter();
    m_settings->setEnabled(filter && filter.HasEditableProperties());
}

void CDialogFilterPerproty::OnSettings()
{
    media::Filter filter = SelectedFilter();
    if (!filter || !filter.HasEditableProperties())
        return;
    const QString name = QString::fromStdString(filter.Name());
    PropertyDialog dialog(filter, name, this);
    dialog.move(mapToGlobal(QPoint(0, 0)));
    dialog.exec();
}
