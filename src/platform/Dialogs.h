// Message boxes, open-file dialogs and the folder browser behind one small interface, so that
// windows can be driven by scripts in tests. Every call is modal and belongs on the UI thread.
#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

namespace platform {

enum class MessageIcon { None, Information, Warning, Error, Question };

enum class MessageButton : int {
    None = 0,
    Ok = 0x1,
    Cancel = 0x2,
    Yes = 0x4,
    No = 0x8,
};
Q_DECLARE_FLAGS(MessageButtons, MessageButton)

// One entry of a file dialog's filter list: "AVI文件 (*.avi)" with patterns {"*.avi"}.
struct FileFilter {
    QString description;
    QStringList patterns;
};

struct OpenFileRequest {
    QString title;
    std::vector<FileFilter> filters;
    int selectedFilter = 0;  // index into filters
    QString folder;          // start folder; empty for the dialog's own choice
    bool multiple = false;   // several files may be chosen
};

class IDialogs {
public:
    virtual ~IDialogs() = default;

    // Shows a message box and returns the button pressed; a box closed without a button returns
    // Cancel when offered, else the only button.
    virtual MessageButton ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                                      MessageIcon icon,
                                      MessageButtons buttons = MessageButton::Ok) = 0;

    // Existing files chosen by the user, in the dialog's order; empty when cancelled.
    virtual QStringList OpenFiles(QWidget* parent, const OpenFileRequest& request) = 0;

    // A folder chosen by the user; empty when cancelled.
    virtual QString BrowseFolder(QWidget* parent, const QString& title,
                                 const QString& startFolder) = 0;
};

// QMessageBox / QFileDialog. A file filter matches each pattern in both letter cases, since
// Linux file names are case-sensitive and the patterns were written for either; the dialog shows
// only the filter's description ("AVI文件 (*.avi)"), so no pattern is listed twice.
class QtDialogs final : public IDialogs {
public:
    MessageButton ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                              MessageIcon icon,
                              MessageButtons buttons = MessageButton::Ok) override;
    QStringList OpenFiles(QWidget* parent, const OpenFileRequest& request) override;
    QString BrowseFolder(QWidget* parent, const QString& title,
                         const QString& startFolder) override;

    // The Qt name filter of one entry: the description followed by every pattern in its own,
    // lower and upper case, duplicates dropped: "AVI文件 (*.avi) (*.avi *.AVI)". The dialog
    // matches the last parenthesis and shows what comes before it.
    static QString NameFilter(const FileFilter& filter);
};

}  // namespace platform

Q_DECLARE_OPERATORS_FOR_FLAGS(platform::MessageButtons)
