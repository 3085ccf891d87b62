// The real message box as a user sees it in this program: its buttons in the program's language.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

#include "ModalScript.h"
#include "WidgetTestSupport.h"
#include "platform/Dialogs.h"

using platform::MessageButton;
using platform::MessageIcon;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QMessageBox* openBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

}  // namespace

TEST(UserDialogs, MessageBoxButtonsAreInChinese) {
    widgettest::EnsureApp("user_dialogs_tests");
    platform::QtDialogs dialogs;
    QStringList seen;
    testsupport::Script script({
        {[] { return openBox() != nullptr; },
         [&] {
             for (QAbstractButton* b : openBox()->buttons())
                 seen << b->text() + QLatin1Char('/') + b->accessibleName();
             openBox()->button(QMessageBox::Cancel)->click();
         }},
        {[] { return openBox() != nullptr; },
         [&] {
             for (QAbstractButton* b : openBox()->buttons()) seen << b->text();
             openBox()->button(QMessageBox::Yes)->click();
         }},
    });
    EXPECT_EQ(
        dialogs.ShowMessage(nullptr, U("提示信息"), U("您确实要终止目前的转换工作吗？"),
                            MessageIcon::Information, MessageButton::Ok | MessageButton::Cancel),
        MessageButton::Cancel);
    EXPECT_EQ(dialogs.ShowMessage(nullptr, U("提示"), U("?"), MessageIcon::Question,
                                  MessageButton::Yes | MessageButton::No),
              MessageButton::Yes);
    ASSERT_TRUE(script.Finished());
    QStringList expected{U("取消/取消"), U("确定/确定"), U("是"), U("否")};
    seen.sort();
    expected.sort();
    EXPECT_EQ(seen, expected) << seen.join(QLatin1Char(' ')).toStdString();
}
