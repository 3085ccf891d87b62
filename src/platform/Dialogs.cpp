#include "platform/Dialogs.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>

namespace platform {

MessageButton QtDialogs::ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                                     MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    if (!buttons) buttons = MessageButton::Ok;
    const std::pair<MessageButton, QMessageBox::StandardButton> map[] = {
        {MessageButton::Ok, QMessageBox::Ok},
        {MessageButton::Cancel, QMessageBox::Cancel},
        {MessageButton::Yes, QMessageBox::Yes},
        {MessageButton::No, QMessageBox::No},
    };
    QMessageBox::StandardButtons standard;
    for (const auto& [ours, qt] : map)
        if (buttons.testFlag(ours)) standard |= qt;
    box.setStandardButtons(standard);
    // The program's language, whatever translations of Qt the system has.
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "确定"},
        {QMessageBox::Cancel, "取消"},
        {QMessageBox::Yes, "是"},
        {QMessageBox::No, "否"},
    };
    for (const auto& [qt, caption] : captions)
        if (QAbstractButton* button = box.button(qt)) {
            button->setText(QString::fromUtf8(caption));
            button->setAccessibleName(button->text());
        }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    const QMessageBox::StandardButton pressed =
        clicked ? box.standardButton(clicked) : QMessageBox::NoButton;
    for (const auto& [ours, qt] : map)
        if (pressed == qt) return ours;
    if (buttons.testFlag(MessageButton::Cancel)) return MessageButton::Cancel;
    for (const auto& [ours, qt] : map)
        if (buttons.testFlag(ours)) return ours;
    return MessageButton::None;
}

QString QtDialogs::NameFilter(const FileFilter& filter) {
    QStringList patterns;
    for (const QString& pattern : filter.patterns)
        for (const QString& form : {pattern, pattern.toLower(), pattern.toUpper()})
            if (!patterns.contains(form)) patterns << form;
    return filter.description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
           QLatin1Char(')');
}

QStringList QtDialogs::OpenFiles(QWidget* parent, const OpenFileRequest& request) {
    QFileDialog dialog(parent, request.title, request.folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList names;
    for (const FileFilter& filter : request.filters) names << NameFilter(filter);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        if (request.selectedFilter >= 0 && request.selectedFilter < names.size())
            dialog.selectNameFilter(names[request.selectedFilter]);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QString QtDialogs::BrowseFolder(QWidget* parent, const QString& title, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
}

}  // namespace platform
