// The program's choice of each part of the main window: one line per part. A real
// implementation replaces its default here (and adds its library in app.cmake).
#include "app/MainWindowParts.h"
#include "app/WindowParts.h"

namespace app {

std::unique_ptr<ISkins> MakeSkins(IMainWindowHost& host) { return MakeWindowSkins(host); }

std::unique_ptr<IHelpActions> MakeHelpActions(IMainWindowHost& host) {
    return MakeWindowHelpActions(host);
}

std::unique_ptr<IPasswordCheck> MakePasswordCheck(IMainWindowHost& host) {
    return MakeWindowPasswordCheck(host);
}

std::unique_ptr<IInformationWindow> MakeInformationWindow(IMainWindowHost& host) {
    return MakeWindowInformation(host);
}

std::unique_ptr<IPlayerPanel> MakePlayerPart(IMainWindowHost& host);  // PlayerPart.cpp
std::unique_ptr<IPlayerPanel> MakePlayerPanel(IMainWindowHost& host) {
    return MakePlayerPart(host);
}

PartFactories::PartFactories()
    : skins(&MakeSkins),
      help(&MakeHelpActions),
      password(&MakePasswordCheck),
      information(&MakeInformationWindow),
      player(&MakePlayerPanel) {}

}  // namespace app
