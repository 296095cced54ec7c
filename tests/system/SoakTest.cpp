// A long recording of the sine source through the program, for scripts/soak
// (disabled in the normal run). Every fragment boundary of the saved file is
// checked for a lost or repeated fragment, the length against what the
// device delivered, and the capture callback's own timing is reported.
//   DUDORORI_SOAK_MINUTES  length of the recording (default 10)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RecordingSupport.h"
#include "SystemTest.h"

using namespace st;
using namespace recording_support;

TEST(SoakRecording, DISABLED_LongRecordingLosesNoFragment) {
    double minutes = 10;
    const std::wstring setting = EnvOrEmpty(L"DUDORORI_SOAK_MINUTES");
    if (!setting.empty()) minutes = std::wcstod(setting.c_str(), nullptr);
    ASSERT_GT(minutes, 0);

    RemoveFile(CaptureTimingFile());
    App app;
    ASSERT_TRUE(app.Start());
    std::printf("[ soak     ] recording %.1f minutes\n", minutes);
    Take take;
    ASSERT_TRUE(RecordFor(app, minutes * 60000, take)) << app.LogDump();
    Wav wav;
    ASSERT_TRUE(SaveThroughProgram(app, TestFile(L"soak.wav"), wav));
    const SineFigures figures = CheckRecordedSine(wav, DefaultFormat, take);
    std::printf("[ soak     ] %zu fragments = %.1f s of sound in %.1f s of wall clock\n", figures.fragments,
                figures.durationMs / 1000, take.recordToStopMs / 1000);

    std::vector<uint8_t> summary;
    ASSERT_TRUE(ReadFileBytes(CaptureTimingFile(), summary)) << "no callback timing written";
    std::printf("[ callback ] %s", std::string(summary.begin(), summary.end()).c_str());
    RemoveFile(TestFile(L"soak.wav"));
}
