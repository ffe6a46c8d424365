#include "options/CompressorList.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "options/PropertyDialog.h"

#include <QComboBox>

CompressorList::CompressorList(QComboBox *box, CompressorCategory category, int format)
    : m_box(box)
    , m_category(category)
    , m_format(format)
{
}

void CompressorList::SetSource(bool known, const std::string &caps)
{
    m_sourceKnown = known;
    m_sourceCaps = caps;
}

void CompressorList::Fill()
{
    m_box->clear();
    m_box->addItem(QString::fromUtf8(NoCompressorText(m_category)));
    m_devices = ContainerCompressors(m_category, m_format,
                                     CopyOfferedFor(m_format, m_sourceKnown, m_sourceCaps));
    for (const media::CompressorDevice &device : m_devices)
        m_box->addItem(
            QString::fromStdString(device.factoryName == kCopyFactory
                                       ? CLanguage::Instance().GetString(IDS_COPY_FROM_SOURCE)
                                       : device.friendlyName));
    m_box->setCurrentIndex(0);
}

void CompressorList::ChangeFormat(int format)
{
    const std::string selected = SelectedFactory();
    m_format = format;
    Fill();
    int position = DefaultCompressorPosition(m_category, m_format, m_devices);
    for (std::size_t i = 0; i < m_devices.size(); ++i)
        if (!selected.empty() && m_devices[i].factoryName == selected)
            position = static_cast<int>(i) + 1;
    m_box->setCurrentIndex(position);
}

std::string CompressorList::SelectedFactory() const
{
    const int position = m_box->currentIndex();
    return position > 0 && position <= static_cast<int>(m_devices.size())
               ? m_devices[static_cast<std::size_t>(position - 1)].factoryName
               : std::string();
}

void CompressorList::SelectInitial(const SettingsStore &store)
{
    m_box->setCurrentIndex(InitialCompressorPosition(m_category, store, m_format, m_devices));
}

void CompressorList::SelectDefault()
{
    m_box->setCurrentIndex(DefaultCompressorPosition(m_category, m_format, m_devices));
}

void CompressorList::Confirm(SettingsStore &store, OutputSettings *settings)
{
    ConfirmContainerCompressor(m_category, m_box->currentIndex(), m_devices, store, settings);
}

bool ConfigureCodec(QWidget *optionsDialog, QComboBox *videoList, QComboBox *hiddenList,
                    OutputSettings *settings)
{
    const std::string chosen = videoList->currentText().toStdString();

    std::vector<media::CompressorDevice> codecs;
    if (media::EnumerateConfigurableVideoCodecs(&codecs) != media::EnumerationResult::Ok
        || codecs.empty())
        return false;
    hiddenList->clear();
    std::vector<std::string> descriptions;
    for (const auto &codec : codecs) {
        descriptions.push_back(codec.friendlyName);
        hiddenList->addItem(QString::fromStdString(codec.friendlyName));
    }

    const int match = MatchCodec(chosen, descriptions);
    if (match < 0)
        return false;
    hiddenList->setCurrentIndex(match);
    const media::CompressorDevice &codec = codecs[static_cast<std::size_t>(match)];

    media::Filter encoder;
    if (FAILED(media::CreateCompressor(codec.factoryName, &encoder))
        || !encoder.HasEditableProperties())
        return false;
    // The last saved settings of this codec are where the user left them.
    if (media::Filter::StateFactoryName(settings->m_codecState) == codec.factoryName)
        encoder.LoadState(settings->m_codecState);

    PropertyDialog dialog(encoder, QString::fromStdString(codec.friendlyName), optionsDialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings->m_codecState = encoder.SaveState();
    media::Filter &bound = settings->m_videoCompressor;
    if (bound && bound.FactoryName() == codec.factoryName)
        bound.LoadState(settings->m_codecState);
    return true;
}
