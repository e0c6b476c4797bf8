// The debug page's fast capture: the selected servo read back to back as a capture job of the
// bus, its samples into the page's series on the bus's thread, and once a screen frame on the
// window's thread the fields, the recording, the sample rate and one repaint of the plot,
// which reads the series.
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
    captured = 0;
    rateCount = 0;
    rateSince = Clock::now();
    captureStart = rateSince;
    samples.StartCapture(captureStart);
    plot->SetCaptureMode(true);
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
    HandOver(sample, SampleKind::Captured);  // the window reads once a screen frame
}

void CRobotDlg::ShowCaptured(const std::vector<CaptureSample>& read)
{
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
