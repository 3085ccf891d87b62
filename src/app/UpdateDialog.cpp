#include "app/UpdateDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/WindowPicture.h"
#include "platform/AppPaths.h"
#include "platform/Downloader.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "platform/Skins.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QPushButton* MakeButton(const char* caption, const char* name) {
    auto* b = new QPushButton(U(caption));
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TForm6::TForm6(platform::IDownloader* downloader, platform::IShell* shell, QUrl versionUrl,
               QWidget* parent)
    : QDialog(parent), downloader_(downloader), shell_(shell), versionUrl_(std::move(versionUrl)) {
    // FormCreate
    downloadLink_.clear();
    currentVersion_ = QStringLiteral("1.63");

    setWindowTitle(U("网上升级"));
    setAccessibleName(windowTitle());
    setFixedSize(604, 412);

    QLabel* picture = PictureLabel(QSize(160, 330));

    auto* right = new QVBoxLayout;
    for (const char* line :
         {"软件更新步骤:", "1.请确认您已经连接到网上,如果您设置了防火墙,必须允许程序通过.",
          "2.检测软件是否有新版本,如果有点击下载按钮.",
          "3.软件更新可能需要30秒--几分钟,这期间请您耐心等待..."}) {
        auto* label = new QLabel(U(line));
        label->setWordWrap(true);
        label->setAccessibleName(label->text());
        right->addWidget(label);
    }

    memo_ = new QPlainTextEdit;
    memo_->setObjectName(QStringLiteral("suiMemo1"));
    memo_->setAccessibleName(U("检测结果"));
    memo_->setReadOnly(true);
    memo_->setFixedSize(377, 145);
    right->addWidget(memo_);

    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("suiProgressBar1"));
    progress_->setAccessibleName(U("进度"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setFixedWidth(377);
    right->addWidget(progress_);

    status_ = new QLabel(U("状态信息:"));
    status_->setObjectName(QStringLiteral("Label7"));
    status_->setAccessibleName(U("状态信息"));
    right->addWidget(status_);

    check_ = MakeButton("检测升级", "suiButton1");
    download_ = MakeButton("开始下载", "suiButton3");
    back_ = MakeButton("返回", "suiButton2");
    download_->setEnabled(false);
    connect(check_, &QPushButton::clicked, this, &TForm6::suiButton1Click);
    connect(download_, &QPushButton::clicked, this, &TForm6::suiButton3Click);
    connect(back_, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(check_);
    buttons->addWidget(download_);
    buttons->addWidget(back_);
    buttons->addStretch();
    right->addStretch();
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addLayout(right, 1);
}

QString TForm6::VersionFile() {
    return platform::AppPaths::ConfigDir() + QStringLiteral("/update.ini");
}

void TForm6::showEvent(QShowEvent* event) {
    platform::skins::ApplySavedSkin(this);  // Button1Click
    memo_->clear();
    status_->setText(U("状态信息:"));
    download_->setEnabled(false);
    progress_->setValue(0);
    QDialog::showEvent(event);
}

void TForm6::reject() {
    if (!busy_) QDialog::reject();
}

void TForm6::AddLine(const QString& line) { memo_->appendPlainText(line); }

void TForm6::SetBusy(bool busy) {
    busy_ = busy;
    check_->setEnabled(!busy);
    back_->setEnabled(!busy);
    if (busy) download_->setEnabled(false);
}

void TForm6::suiButton1Click() {
    if (busy_) return;
    progress_->setValue(0);
    status_->setText(U("正在连接软件网站...."));
    memo_->clear();
    AddLine(U("正在连接软件网站,请您耐心等待...."));
    progress_->setValue(20);

    const QString file = VersionFile();
    SetBusy(true);
    const bool fetched = downloader_->Download(versionUrl_, file);
    SetBusy(false);

    // A file that names no version (an error page, a file of another kind) is no answer.
    const platform::IniFile ini(file);
    const QString latest =
        fetched ? ini.ReadString(QStringLiteral("version"), QStringLiteral("new")) : QString();
    if (latest.isEmpty()) {
        const QString failed = U("连接失败!可能网络忙或没连接到网络...");
        status_->setText(failed);
        memo_->clear();
        AddLine(failed);
        return;
    }
    progress_->setValue(50);
    status_->setText(U("正在检测新版本的程序...."));
    const QString date = ini.ReadString(QStringLiteral("version"), QStringLiteral("date"));
    const QString link = ini.ReadString(QStringLiteral("version"), QStringLiteral("links1"));
    const QString size = ini.ReadString(QStringLiteral("version"), QStringLiteral("size"));

    if (latest == currentVersion_) {
        const QString current = U("没有检测到新版本,现在使用的为最新版本!");
        status_->setText(current);
        memo_->clear();
        AddLine(current);
        progress_->setValue(100);
        return;
    }
    memo_->clear();
    status_->setText(U("发现新版本程序,您可以升级下载新版本。"));
    AddLine(U("发现新版本程序...."));
    AddLine(U("软件名称:Tandrel"));
    AddLine(U("最新版本:") + latest);
    AddLine(U("更新日期:") + date);
    AddLine(U("软件大小:") + size);
    AddLine(U("下载链接:") + link);
    AddLine(QString());
    progress_->setValue(100);
    // Only a web link is offered to the browser.
    if (!platform::IsWebLink(QUrl(link, QUrl::StrictMode))) return;
    download_->setEnabled(true);
    downloadLink_ = link;
    AddLine(U(
        "检测完成,您可以点击<开始下载>按钮打开下载最新升级版本。推荐您使用（网际快车）软件下载。"));
}

void TForm6::suiButton3Click() {
    memo_->clear();
    shell_->OpenLink(QUrl(downloadLink_));
}
