// The options dialog's duration read: the source is opened as a task of an engine component that
// belongs to the reader alone, its container's duration is read, and the task list is cleared
// again. Nothing is converted; the component never starts a batch.
//
// UI thread only (the component's operations are). The media libraries must already be bound
// (the main window binds them before the first addition); otherwise every read reports unknown.
#pragma once

#include <QString>
#include <cstdint>

#include "formats/OptionsModel.h"

class TCustomFFmpegVCL;

namespace formats {

// The duration of `path` in microseconds through `component` (AddTask with default input options,
// "mpeg" forced for ".dat"; the input's container duration; ClearTasks whether or not the add
// succeeded). -1 when the file cannot be opened or its container reports no duration.
int64_t ReadDuration(TCustomFFmpegVCL& component, const QString& path);

// A reader for OptionsModel::Open / TForm8 that owns its component.
DurationReader MakeEngineDurationReader();

}  // namespace formats
