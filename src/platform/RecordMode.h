// Record mode of the platform services that act outside the program (shell open, power-off):
// when TANDREL_RECORD_PLATFORM names a file, each request is appended to it as one line instead
// of being carried out, so black-box tests can see what would have happened. Any thread.
#pragma once

#include <QByteArray>

namespace platform {

// False when TANDREL_RECORD_PLATFORM is unset (not recording: carry the request out). Otherwise
// appends `line` and a line feed to that file and sets `*written` to whether it got there.
bool RecordPlatformRequest(const QByteArray& line, bool* written);

}  // namespace platform
