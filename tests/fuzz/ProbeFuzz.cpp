// A file of any content through the probe: open, every fact, every stream's facts and the
// description text. Nothing may crash, leak or hang; a file either opens or fails with a reason.
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "probe/AVProbe.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WriteScratchFile("input", data, size);
    TAVProbe probe;
    if (!probe.LoadFile(QString::fromStdString(path))) {
        if (probe.LastErrorMessage().empty()) std::abort();  // a failure always says why
        return 0;
    }
    TFileStreamInfo info;
    probe.GetFileInfo(&info);
    for (int i = 0; i < probe.StreamCount(); ++i) {
        TVideoStreamInfo video;
        TAudioStreamInfo audio;
        probe.GetVideoStreamInfo(i, &video);
        probe.GetAudioStreamInfo(i, &audio);
    }
    (void)probe.InfoText();
    probe.Close();
    return 0;
}
