// The debug page's fast capture: the selected servo read back to back as a capture job of the
// bus, its samples into the plot's capture store on the bus's thread, and once a screen frame
// on the window's thread the fields, the recording, the sample rate and one repaint.
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

long long Ns(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

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
    fastCapture = true;
    plot->Capture().Clear();
    plot->SetCaptureMode(true);
    captured = 0;
    rateCount = 0;
    rateSince = Clock::now();
    captureStartNs = Ns(rateSince);
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
    fastCapture = false;
    capturing = false;
    capture->Stop();
    frameTimer->stop();
    OnCaptureFrame();  // the last samples into the recording
    plot->SetCaptureMode(false);
    UpdatePlotMenu();
}

void CRobotDlg::CaptureOnce(BusAccess& a)
{
    // A job queued before the capture was switched off sends nothing.
    if (!capturing)
        return;
    if (!a.Facts().Open()) {
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
    if (reader.Next(a.protocol, t, sample)) {
        ++captured;
        const Feedback& f = sample.values;
        const int factor = t.debug.speedFactor;
        const std::array<int, kChannels> raw = {f.position, f.load, ScaleBySpeedFactor(f.speed, factor),
                                                f.target, ScaleBySpeedFactor(f.fastSlow, factor),
                                                f.current};
        PlotValues values{};
        for (size_t c = 0; c < kChannels; ++c)
            values[c] = plot->Samples().Stored(static_cast<PlotChannel>(c), raw[c]);
        const long long us = (Ns(sample.time) - captureStartNs.load()) / 1000;
        plot->Capture().Add(us, values);
    } else {
        ++timedOut;
    }
    std::lock_guard lock(captureMutex);
    captureRows.push_back(sample);
    latestSample = sample;
    latestNew = true;
}

void CRobotDlg::OnCaptureFrame()
{
    CaptureSample latest;
    bool fresh = false;
    frameRows.clear();
    {
        std::lock_guard lock(captureMutex);
        frameRows.swap(captureRows);
        latest = latestSample;
        fresh = latestNew;
        latestNew = false;
    }
    if (recorder.Recording())
        recorder.AddCaptured(frameRows, CaptureBlock::Full);
    if (fresh) {
        if (latest.answered)
            ShowFields(latest.values);
        else
            statusField->setText(ServoWords::Timeout());
    }
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
