#include "options/CompressorList.h"

#include "options/PropertyDialog.h"

#include <QComboBox>

CompressorList::CompressorList(QComboBox *box, CompressorCategory category)
    : m_box(box)
    , m_category(category)
{
}

void CompressorList::Fill()
{
    m_box->clear();
    m_box->addItem(QString::fromUtf8(NoCompressorText(m_category)));
    std::vector<std::string> names;
    ListCompressors(m_category, &names);
    for (const std::string &name : names)
        m_box->addItem(QString::fromStdString(name));
    m_box->setCurrentIndex(0);
}

void CompressorList::SelectInitial(const SettingsStore &store)
{
    m_box->setCurrentIndex(InitialCompressorPosition(m_category, store, m_box->count() - 1));
}

void CompressorList::SelectDefault()
{
    int ordinal = 0;
    const bool found
        = FindDefaultCompressor(m_category, DefaultCompressorWords(m_category), &ordinal);
    m_box->setCurrentIndex(found && ordinal + 1 < m_box->count() ? ordinal + 1 : 0);
}

void CompressorList::Confirm(SettingsStore &store, int *useFlag)
{
    ConfirmCompressor(m_category, m_box->currentIndex(), store, useFlag);
}

bool ConfigureCodec(QWidget *optionsDialog, QComboBox *videoList, QComboBox *hiddenList)
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
    if (media::Filter::StateFactoryName(SavedCodecState()) == codec.factoryName)
        encoder.LoadState(SavedCodecState());

    PropertyDialog dialog(encoder, QString::fromStdString(codec.friendlyName), optionsDialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    SetSavedCodecState(encoder.SaveState());
    media::Filter bound = BoundCompressor(CompressorCategory::Video);
    if (bound && bound.FactoryName() == codec.factoryName)
        bound.LoadState(SavedCodecState());
    return true;
}
