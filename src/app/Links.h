// The maker's addresses (the help menu and the about box) and the help opener. UI thread.
#pragma once

#include <QString>

namespace platform {
class IShell;
}

namespace links {

extern const char kWebSite[];      // "软件网站" and the about box's "网址："
extern const char kMailAddress[];  // "作者联系信箱" and "联系信箱：" (opened as mailto:)
extern const char kDesktopSite[];  // the about box's "桌面资源网址："

// help/index.html in the data folder (beside the program, or the installed data folder).
QString HelpFile();

// Each asks the shell to open its target; false when the shell refused.
bool OpenHelp(platform::IShell& shell);
bool OpenWebSite(platform::IShell& shell);
bool OpenMail(platform::IShell& shell);
bool OpenDesktopSite(platform::IShell& shell);

}  // namespace links
