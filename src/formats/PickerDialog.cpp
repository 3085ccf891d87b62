#include "formats/PickerDialog.h"

#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "formats/FormatCatalog.h"
#include "formats/OptionsDialog.h"
#include "platform/Dialogs.h"
#include "platform/Skins.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int kNextResult = 2;  // QDialog result of "下一步": run the options dialog

// A 60×60 icon: the page colour with the output extension of the profile written on it.
QPixmap MakeIcon(int tab, int formatIndex) {
    constexpr QRgb kColours[] = {0x2e7d32, 0x1565c0, 0x6a1b9a, 0xc62828};
    QPixmap pixmap(60, 60);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kColours[tab]));
    painter.drawRoundedRect(QRectF(2, 2, 56, 56), 8, 8);
    QString label;
    if (const formats::FormatProfile* profile = formats::FindProfile(formatIndex))
        label = QString::fromUtf8(profile->fileExtension).mid(1).toUpper();
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(label.size() > 3 ? 13 : 16);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, 60, 60), Qt::AlignCenter, label);
    return pixmap;
}

}  // namespace

TForm7::TForm7(formats::JobFields* fields, TForm8* options, platform::IDialogs* dialogs,
               QWidget* parent)
    : QDialog(parent), fields_(fields), options_(options), dialogs_(dialogs) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(U("选择转换格式"));
    setFixedSize(834, 599);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(new QLabel(U("请选择您要转换的影片格式："), this));
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("suiPageControl1"));
    pages_->setFixedSize(785, 441);
    outer->addWidget(pages_, 0, Qt::AlignHCenter);

    const auto tabs = formats::PickerTabs();
    for (size_t t = 0; t < tabs.size(); ++t) {
        auto* list = new QListWidget(pages_);
        list->setObjectName(QString::fromLatin1(tabs[t].listName));
        list->setViewMode(QListView::IconMode);
        list->setIconSize(QSize(60, 60));
        list->setGridSize(QSize(150, 110));
        list->setWordWrap(true);
        list->setMovement(QListView::Static);
        list->setResizeMode(QListView::Adjust);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->viewport()->installEventFilter(this);
        lists_[t] = list;
        auto* page = new QWidget(pages_);
        page->setObjectName(QStringLiteral("suiTabSheet%1").arg(t + 1));
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        pageLayout->addWidget(list);
        pages_->addTab(page, U(tabs[t].caption));
    }

    // Filled in the order of the third, second, fourth and first tab; the first item of the
    // third, second and first is then selected, in that order, so FormatIndex ends at 300.
    for (int t : {2, 1, 3, 0}) {
        QListWidget* list = lists_[static_cast<size_t>(t)];
        list->clear();
        for (size_t i = 0; i < tabs[t].items.size(); ++i) {
            const formats::PickerItem& item = tabs[t].items[i];
            list->addItem(new QListWidgetItem(
                QIcon(MakeIcon(t, tabs[t].base + static_cast<int>(i))), U(item.caption)));
        }
        connect(list, &QListWidget::itemSelectionChanged, this, [this, t] { UpdateIndex(t); });
    }
    for (int t : {2, 1, 0}) lists_[static_cast<size_t>(t)]->setCurrentRow(0);
    pages_->setCurrentIndex(0);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab < 0) return;
        lists_[static_cast<size_t>(tab)]->setCurrentRow(0);
        UpdateIndex(tab);
    });

    auto* buttons = new QHBoxLayout;
    next_ = new QPushButton(U("下一步"), this);
    next_->setObjectName(QStringLiteral("suiButton1"));
    next_->setFixedSize(80, 27);
    next_->setDefault(true);
    cancel_ = new QPushButton(U("取消"), this);
    cancel_->setObjectName(QStringLiteral("suiButton2"));
    cancel_->setFixedSize(80, 27);
    buttons->addStretch(1);
    buttons->addWidget(next_);
    buttons->addWidget(cancel_);
    outer->addLayout(buttons);
    connect(next_, &QPushButton::clicked, this, &TForm7::Next);
    connect(cancel_, &QPushButton::clicked, this, &TForm7::reject);
}

void TForm7::UpdateIndex(int tab) {
    const QListWidget* list = lists_[static_cast<size_t>(tab)];
    const QList<QListWidgetItem*> selected = list->selectedItems();
    const int position = selected.isEmpty() ? -1 : list->row(selected.first());
    fields_->FormatIndex = formats::PickerTabs()[static_cast<size_t>(tab)].base + position;
}

bool TForm7::HasSelection(int tab) const {
    return !lists_[static_cast<size_t>(tab)]->selectedItems().isEmpty();
}

void TForm7::ShowNoSelection() {
    dialogs_->ShowMessage(this, U("提示"), U("请选择一个要转换的类型,然后点击“下一步”按钮！"),
                          platform::MessageIcon::Information);
}

void TForm7::Next() {
    const int tab = pages_->currentIndex();
    if (!HasSelection(tab) || !formats::FindProfile(fields_->FormatIndex)) {
        ShowNoSelection();
        return;
    }
    done(kNextResult);
}

int TForm7::exec() {
    for (;;) {
        const int result = QDialog::exec();
        if (result != kNextResult) return result;
        if (options_->RunModal() == QDialog::Accepted) {
            setResult(QDialog::Accepted);
            return QDialog::Accepted;
        }
        // The options dialog was cancelled: back to the picker, tab and item unchanged.
    }
}

void TForm7::reject() {
    pickerResult_ = QStringLiteral("2");
    QDialog::reject();
}

void TForm7::showEvent(QShowEvent* event) {
    platform::skins::ApplySavedSkin(this);  // Button1Click
    pickerResult_ = QStringLiteral("1");
    QDialog::showEvent(event);
}

bool TForm7::eventFilter(QObject* watched, QEvent* event) {
    for (int tab = 0; tab < 4; ++tab) {
        QListWidget* list = lists_[static_cast<size_t>(tab)];
        if (watched != list->viewport()) continue;
        const bool mouse = event->type() == QEvent::MouseButtonPress ||
                           event->type() == QEvent::MouseButtonDblClick;
        if (mouse && HasSelection(tab) &&
            !list->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid()) {
            // A click beside the items keeps the choice: the list would clear it, and the
            // profile the user picked would silently be gone.
            skipRelease_ = true;
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            // A double-click on an empty list was already answered by its first click.
            skipRelease_ = true;
            if (HasSelection(tab)) {
                // Leave the event handler before the picker's loop ends.
                QMetaObject::invokeMethod(this, &TForm7::Next, Qt::QueuedConnection);
            }
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            if (skipRelease_) {
                skipRelease_ = false;
            } else if (!HasSelection(tab)) {
                ShowNoSelection();
            }
        }
        break;
    }
    return QDialog::eventFilter(watched, event);
}
