// The debug page's fast capture: the selected servo read back to back as a capture job of the
// bus, its samples into the page's sample model on the bus's thread, and once a screen frame
// on the window's thread the plot's capture store, the fields, the recording, the sample rate
// and one repaint.
#include "pages/debug/CRobotDlg.h"

#include "plot/CPIC.h"
#include "widgets/ServoWords.h"

#include <QAction>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {

using Clock = CaptureSample::Clock;

}  // namespace

void CRobotDlg::SetFastCapture(bool on)
{
    if (on == fastCapture)
        return;
    if (!on) {
        EndCapture();
        poll->Start();
        UpdatePlotMenu();
        return;
    }
    if (!bus.Facts().Open() || !IsPolling()) {
        UpdatePlotMenu();
        return;
    }
    poll->Stop();
    TakeSamples();  // the poll's last samples go where the poll's go
    fastCapture = true;
    plot->Capture().Clear();
    plot->SetCaptureMode(true);
    captured = 0;
    rateCount = 0;
    rateSince = Clock::now();
    captureStart = rateSince;
    if (!frameTimer) {
        frameTimer = new QTimer(this);
        connect(frameTimer, &QTimer::timeout, this, &CRobotDlg::OnCaptureFrame);
    }
    // At most one frame per refresh of the screen the page is on.
    const qreal hz = screen() && screen()->refreshRate() > 1 ? screen()->refreshRate() : 60.0;
    frameTimer->start(std::max(1, static_cast<int>(std::floor(1000.0 / hz))));
    capturing = true;
    capture->Start();
    UpdatePlotMenu();
}

void CRobotDlg::EndCapture()
{
    if (!fastCapture)
        return;
    capturing = false;
    capture->Stop();
    frameTimer->stop();
    OnCaptureFrame();  // the last samples into the recording
    fastCapture = false;
    plot->SetCaptureMode(false);
    UpdatePlotMenu();
}

void CRobotDlg::CaptureOnce(BusAccess& access)
{
    // A job queued before the capture was switched off sends nothing.
    if (!capturing)
        return;
    if (!access.Facts().Open()) {
        // A port closed under the capture would fail every read at once: back to the poll.
        capturing = false;
        capture->Stop();
        QMetaObject::invokeMethod(this, [this] { SetFastCapture(false); }, Qt::QueuedConnection);
        return;
    }
    const DebugTarget t = Target();
    const int id = firstId.load();
    FeedbackCapture reader(id, id, CaptureBlock::Full);
    CaptureSample sample;
    ++(reader.Next(access.protocol, t, sample) ? captured : timedOut);
    HandOver(sample, false);  // the window reads once a screen frame
}

void CRobotDlg::ShowCaptured(const std::vector<CaptureSample>& read)
{
    // The window's thread alone sets the target: it reads its own without the lock.
    const int factor = target.debug.speedFactor;
    const PlotSamples& scale = plot->Samples();
    for (const CaptureSample& s : read) {
        if (!s.answered)
            continue;
        const Feedback& f = s.values;
        const std::array<int, kChannels> raw = {f.position, f.load, ScaleBySpeedFactor(f.speed, factor),
                                                f.target, ScaleBySpeedFactor(f.fastSlow, factor),
                                                f.current};
        PlotValues values{};
        for (size_t c = 0; c < kChannels; ++c)
            values[c] = scale.Stored(static_cast<PlotChannel>(c), raw[c]);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(s.time - captureStart).count();
        plot->Capture().Add(us < 0 ? 0 : us, values);
    }
    if (recorder.Recording())
        recorder.AddCaptured(read, CaptureBlock::Full);
    const CaptureSample& latest = read.back();
    if (latest.answered)
        ShowFields(latest.values);
    else
        statusField->setText(ServoWords::Timeout());
}

void CRobotDlg::OnCaptureFrame()
{
    TakeSamples();
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - rateSince).count();
    if (seconds >= 0.5) {
        const long long count = captured;
        plot->SetCaptureRate(static_cast<double>(count - rateCount) / seconds);
        rateCount = count;
        rateSince = now;
    }
    plot->update();
}
