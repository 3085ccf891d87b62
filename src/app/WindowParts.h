// The real parts behind the main window's seams for skins, the help menu's actions (with the
// about box TForm4 and the update dialog TForm6), the password check (TForm5) and the
// information window (TForm9). Each owns its windows, created at construction with the main
// window as parent and never shown before they are asked for. UI thread only.
#pragma once

#include <memory>

#include "app/MainWindowParts.h"

namespace app {

std::unique_ptr<ISkins> MakeWindowSkins(IMainWindowHost& host);
std::unique_ptr<IHelpActions> MakeWindowHelpActions(IMainWindowHost& host);
std::unique_ptr<IPasswordCheck> MakeWindowPasswordCheck(IMainWindowHost& host);
std::unique_ptr<IInformationWindow> MakeWindowInformation(IMainWindowHost& host);

}  // namespace app
