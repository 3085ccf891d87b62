#include "formats/EngineDurationReader.h"

#include <memory>

#include "engine/FFmpegVCL.h"
#include "formats/RecordBuilder.h"

namespace formats {

int64_t ReadDuration(TCustomFFmpegVCL& component, const QString& path) {
    TInputOptions options;
    options.FileFormat = ForcedInputFormat(path);
    int64_t duration = -1;
    const int index = component.AddTask(path, &options);
    if (index >= 0) {
        const AVFormatContext* ctx = component.InputContext(index, 0);
        // The library's no-value marker is negative too: both mean unknown.
        if (ctx && ctx->duration >= 0) duration = ctx->duration;
    }
    component.ClearTasks();
    return duration;
}

DurationReader MakeEngineDurationReader() {
    auto component = std::make_shared<TFFmpegVCL>();
    return [component](const QString& path) { return ReadDuration(*component, path); };
}

}  // namespace formats
