// TForm6, the online update dialog ("网上升级"): fetches the version file, compares the version
// it names with the program's, and offers the new version's download link. It never downloads
// or installs the program itself. Created once, shown modally; UI thread only.
//
// The version file (an INI text, section `version`: new, date, links1, size) is saved as
// "update.ini" in the settings folder. A file without a `new` value counts as a failed check.
// Any textual difference from CurrentVersion counts as a new version, an older one included.
// "开始下载" is enabled only after a check found a new version with an http or https link.
// While a check runs every button is disabled and Escape is ignored; the download gives up
// after its time-out.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace platform {
class IDownloader;
class IShell;
}  // namespace platform

class TForm6 : public QDialog {
    Q_OBJECT

public:
    // `downloader` and `shell` must outlive the dialog. `versionUrl` is the version file's
    // address (platform::UpdateUrl() in the program).
    TForm6(platform::IDownloader* downloader, platform::IShell* shell, QUrl versionUrl,
           QWidget* parent = nullptr);

    const QString& CurrentVersion() const { return currentVersion_; }
    const QString& DownloadLink() const { return downloadLink_; }
    // Where the version file is saved: "update.ini" in the settings folder.
    static QString VersionFile();

    QPlainTextEdit* Memo() const { return memo_; }
    QLabel* Status() const { return status_; }
    QProgressBar* Progress() const { return progress_; }
    QPushButton* CheckButton() const { return check_; }
    QPushButton* DownloadButton() const { return download_; }
    QPushButton* BackButton() const { return back_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void suiButton1Click();  // "检测升级"
    void suiButton3Click();  // "开始下载"
    void AddLine(const QString& line);
    void SetBusy(bool busy);

    platform::IDownloader* downloader_;
    platform::IShell* shell_;
    QUrl versionUrl_;
    QString currentVersion_;
    QString downloadLink_;
    bool busy_ = false;

    QPlainTextEdit* memo_ = nullptr;    // suiMemo1
    QProgressBar* progress_ = nullptr;  // suiProgressBar1
    QLabel* status_ = nullptr;          // Label7
    QPushButton* check_ = nullptr;      // suiButton1
    QPushButton* download_ = nullptr;   // suiButton3
    QPushButton* back_ = nullptr;       // suiButton2
};
