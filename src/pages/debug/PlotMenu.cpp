// The debug page's plot menu (right click or the menu key on the plot): pause, export as
// CSV or PNG, clear, and the feedback recording.
#include "pages/debug/CRobotDlg.h"

#include "plot/CPIC.h"
#include "plot/PlotCsv.h"
#include "widgets/Utf8.h"

#include <QMenu>
#include <QTimer>

void CRobotDlg::BuildPlotMenu()
{
    plotMenu = new QMenu(this);
    plotMenu->setAccessibleName(tr("曲线菜单"));
    pauseAction = plotMenu->addAction(tr("暂停"), this, [this] {
        plot->SetPaused(!plot->Paused());
        UpdatePlotMenu();
    });
    exportCsvAction = plotMenu->addAction(tr("导出 CSV..."), this, &CRobotDlg::OnExportCsv);
    exportImageAction = plotMenu->addAction(tr("导出图片..."), this, &CRobotDlg::OnExportImage);
    clearAction = plotMenu->addAction(tr("清除"), plot, &CPIC::Clear);
    fastCaptureAction = plotMenu->addAction(tr("高速采集"), this,
                                            [this](bool on) { SetFastCapture(on); });
    fastCaptureAction->setCheckable(true);
    plotMenu->addSeparator();
    recordAction = plotMenu->addAction(tr("开始记录..."), this, &CRobotDlg::OnRecord);
    connect(plot, &CPIC::menuRequested, this, [this](const QPoint& at) {
        UpdatePlotMenu();  // the space bar may have paused the plot meanwhile
        plotMenu->popup(at);
    });
}

void CRobotDlg::UpdatePlotMenu()
{
    pauseAction->setText(plot->Paused() ? tr("继续") : tr("暂停"));
    recordAction->setText(recorder.Recording() ? tr("停止记录") : tr("开始记录..."));
    fastCaptureAction->setChecked(fastCapture);
    // It takes the page's poll over, on an open port.
    fastCaptureAction->setEnabled(fastCapture || (IsPolling() && bus.Facts().Open()));
}

QString CRobotDlg::AskSaveFile(const QString& title, const QString& filter, const QString& suffix)
{
    return host.Files().SaveFileNameWithSuffix(this, title, filter, suffix);
}

void CRobotDlg::Warning(const QString& title, const QString& text)
{
    host.Messages().Warning(this, title, text);
}

void CRobotDlg::OnExportCsv()
{
    const QString path = AskSaveFile(tr("导出 CSV"), U("CSV (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    std::string error;
    const bool saved = plot->CaptureMode()
                           ? SaveCaptureCsv(path.toStdString(), plot->CaptureRows(), error)
                           : SavePlotCsv(path.toStdString(), PollLists(samples), error);
    if (!saved)
        Warning(tr("导出 CSV"), tr("导出失败: ") + QString::fromLocal8Bit(error.c_str()));
}

void CRobotDlg::OnExportImage()
{
    // The picture as it stands now, before a dialog lets the curves move on.
    const QImage picture = plot->Picture();
    const QString path = AskSaveFile(tr("导出图片"), U("PNG (*.png)"), QStringLiteral("png"));
    if (path.isEmpty())
        return;
    if (!picture.save(path, "PNG"))
        Warning(tr("导出图片"), tr("导出失败: ") + path);
}

void CRobotDlg::OnRecord()
{
    if (recorder.Recording()) {
        StopRecording();
        return;
    }
    // Rows go on the end of an existing file.
    const QString path = AskSaveFile(tr("开始记录"), U("CSV (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    std::string error;
    // A failed write ends the recording on the writer's thread; the window hears of it here,
    // unless another recording has begun meanwhile.
    const int run = ++recordingRun;
    const auto failed = [this, run](const std::string& reason) {
        QMetaObject::invokeMethod(this, [this, reason, run] {
            if (run == recordingRun)
                RecordingFailed(reason);
        }, Qt::QueuedConnection);
    };
    if (!recorder.Start(path.toStdString(), error, failed)) {
        Warning(tr("开始记录"), tr("无法写入记录文件: ") + QString::fromLocal8Bit(error.c_str()));
        return;
    }
    plot->SetRecording(true);
    UpdatePlotMenu();
}

void CRobotDlg::StopRecording()
{
    recorder.Stop();
    plot->SetRecording(false);
    UpdatePlotMenu();
}

void CRobotDlg::RecordPoll(const Feedback* answer)
{
    recorder.AddPoll(answer);
}

void CRobotDlg::RecordingFailed(const std::string& error)
{
    recorder.Stop();
    plot->SetRecording(false);
    UpdatePlotMenu();
    // The message waits for its own turn: the poll that brought this row goes on at once.
    QTimer::singleShot(0, this, [this, reason = QString::fromLocal8Bit(error.c_str())] {
        Warning(tr("停止记录"), tr("写入记录文件失败, 记录已停止: ") + reason);
    });
}
