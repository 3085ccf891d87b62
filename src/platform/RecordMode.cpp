#include "platform/RecordMode.h"

#include <QFile>

namespace platform {

bool RecordPlatformRequest(const QByteArray& line, bool* written) {
    const QString record = qEnvironmentVariable("TANDREL_RECORD_PLATFORM");
    if (record.isEmpty()) return false;
    QFile file(record);
    const QByteArray text = line + '\n';
    *written =
        file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(text) == text.size();
    return true;
}

}  // namespace platform
