// What reaches the main window from outside its buttons: the preview's keys, and files from the
// desktop (the command line, drops on the window or on the preview).
#include "app/VinteloDlg.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "platform/MessageBoxes.h"
#include "preview/TrimControls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

namespace {

QStringList LocalFiles(const QMimeData *data)
{
    QStringList files;
    if (!data)
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files << url.toLocalFile();
    return files;
}

QString Text(int number)
{
    return QString::fromStdString(CLanguage::Instance().GetString(number));
}

} // namespace

bool CVinteloDlg::OpenHandedFiles(const QStringList &handed)
{
    QStringList files;
    for (const QString &file : handed)
        files << QFileInfo(file).absoluteFilePath();
    // Only when Open Video itself could run: not while converting, not under another dialog.
    QWidget *modal = QApplication::activeModalWidget();
    if (files.isEmpty() || !Control(IDC_BUTTON_ADD_VIDEO)->isEnabled() || m_job.m_bConverting == 1
        || (modal && modal != this))
        return false;
    // After the current event: a drop may come from the preview window that opening replaces.
    QMetaObject::invokeMethod(
        this,
        [this, files] {
            OpenVideoFile(files.first().toStdString());
            if (files.size() > 1)
                platform::ShowMessageBox(
                    Text(IDS_NOTE_ONE_VIDEO).arg(QFileInfo(files.first()).fileName()).toStdString(),
                    "Clipwright");
        },
        Qt::QueuedConnection);
    return true;
}

void CVinteloDlg::OpenFromArguments(const QStringList &arguments)
{
    QStringList files;
    bool onlyFiles = false;
    for (const QString &argument : arguments.mid(1)) {
        // Options were answered before the window opened; "--" only marks where files begin.
        if (!onlyFiles && argument == QLatin1String("--")) {
            onlyFiles = true;
            continue;
        }
        const QUrl url(argument);
        files << (url.isLocalFile() ? url.toLocalFile() : argument);
    }
    OpenHandedFiles(files);
}

void CVinteloDlg::dragEnterEvent(QDragEnterEvent *event)
{
    if (!LocalFiles(event->mimeData()).isEmpty() && Control(IDC_BUTTON_ADD_VIDEO)->isEnabled())
        event->acceptProposedAction();
}

void CVinteloDlg::dropEvent(QDropEvent *event)
{
    if (OpenHandedFiles(LocalFiles(event->mimeData())))
        event->acceptProposedAction();
}

void CVinteloDlg::keyPressEvent(QKeyEvent *event)
{
    // Space belongs to the video here, so Enter is how the keyboard presses the focused button,
    // the transport buttons included. Only a focus the user can see is pressed: Enter never
    // falls through to a default button nobody chose.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier)) {
        QDialog::keyPressEvent(event);
        return;
    }
    auto *button = qobject_cast<QAbstractButton *>(focusWidget());
    if (button && button->window() == this && button->isVisible() && button->isEnabled()
        && FocusShown())
        button->click();
    event->accept();
}

bool CVinteloDlg::FocusShown() const
{
    // The style draws the focus only once the keyboard has moved it (a click hides it again).
    return testAttribute(Qt::WA_KeyboardFocusChange);
}

void CVinteloDlg::CreateKeys()
{
    const int keys[] = {Qt::Key_Space, Qt::Key_Left, Qt::Key_Right, Qt::Key_Home,
                        Qt::Key_End,   Qt::Key_I,    Qt::Key_O};
    for (int key : keys) {
        for (Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ShiftModifier}) {
            if (modifiers != Qt::NoModifier && key != Qt::Key_Left && key != Qt::Key_Right)
                continue;
            auto *shortcut = new QShortcut(QKeySequence(key | modifiers), this);
            connect(shortcut, &QShortcut::activated, this,
                    [this, key, modifiers] { m_trim->OnKey(key, modifiers); });
        }
    }
}

void CVinteloDlg::ShowKeysInTooltips()
{
    const QString space = Text(IDS_KEY_SPACE);
    const struct
    {
        int id;
        QString key;
    } keys[] = {{IDC_BUTTON_PLAY, space},
                {IDC_BUTTON_PAUSE, space},
                {IDC_BUTTON_START_TIME, QStringLiteral("I")},
                {IDC_BUTTON_END_TIME, QStringLiteral("O")}};
    for (const auto &entry : keys) {
        auto *button = qobject_cast<QAbstractButton *>(Control(entry.id));
        QString caption = button->text();
        caption.remove(QLatin1Char('&'));
        button->setToolTip(caption + QStringLiteral(" (") + entry.key + ')');
    }
}

void CVinteloDlg::NameControls()
{
    auto caption = [this](int id) {
        QString text = qobject_cast<QAbstractButton *>(Control(id))->text();
        return text.remove(QLatin1Char('&'));
    };
    // Displays without a caption are named after the button or value they belong to.
    const std::map<int, QString> names = {
        {IDC_STATIC_STATUS, Text(IDS_NAME_STATUS)},
        {IDC_SLIDER_POSITION, Text(IDS_NAME_POSITION)},
        {IDC_STATIC_POSITION, Text(IDS_NAME_POSITION)},
        {IDC_STATIC_START_TIME, caption(IDC_BUTTON_START_TIME)},
        {IDC_STATIC_END_TIME, caption(IDC_BUTTON_END_TIME)},
    };
    for (const auto &[id, control] : m_controls) {
        const auto named = names.find(id);
        const QString name = named != names.end() ? named->second : caption(id);
        control->setAccessibleName(name);
        control->setAccessibleDescription(control->toolTip().isEmpty() ? name : control->toolTip());
    }
}
