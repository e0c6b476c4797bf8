// The upgrade page's communication test: "测试"/"停止", "清除" and the test worker.
#include "pages/upgrade/ServoTest.h"

#include "support/LeadingInt.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

int Number(const QLineEdit* edit)
{
    return LeadingInt(edit->text().toStdString());
}

}  // namespace

void ServoTest::ToggleTest()
{
    startAddress = static_cast<uint8_t>(Number(startEdit));
    endAddress = static_cast<uint8_t>(Number(endEdit));
    if (!testRunning) {
        // The previous test is still finishing its pass, or a transfer has the bus.
        if (TestRunning() || UpgradeRunning())
            return;
        CommTestPlan plan;
        if (!PlanCommTest(Number(fromEdit), Number(toEdit), startAddress, endAddress,
                          Number(timeoutEdit), plan)) {
            resultBox->setPlainText(tr("地址范围错误"));
            return;
        }
        testButton->setText(tr("停止"));
        testRunning = true;
        testAbort = false;
        testActive = true;
        PostTestPass(plan);
        UpdateUpgradeEnabled();
        return;
    }
    testButton->setText(tr("测试"));
    testRunning = false;
    // Until the last pass has reported, a new test would be a second chain of passes.
    if (TestRunning())
        testButton->setEnabled(false);
}

void ServoTest::ClearTest()
{
    resultBox->clear();
    counts.Clear();
}

void ServoTest::PostTestPass(const CommTestPlan& plan)
{
    auto ended = [this] {
        QMetaObject::invokeMethod(this, [this] { OnTestEnded(); }, Qt::QueuedConnection);
    };
    // One pass per job: a command given meanwhile goes out between two passes.
    host.Bus().Post(
        JobKind::Test,
        [this, plan, ended](BusAccess& access) {
            CommTestPass pass;
            if (RunCommTestPass(access, plan, counts, testAbort, pass))
                PostPass(pass);
            // A port that went away ends the test; the window says so.
            if (testRunning && !testAbort && !access.Stopping() && !pass.portGone)
                PostTestPass(plan);
            else
                ended();
        },
        ended);
}

void ServoTest::PostPass(const CommTestPass& pass)
{
    {
        std::lock_guard lock(passMutex);
        passSamples = pass.samples;
        passTraffic = pass.traffic;
        if (passPosted)
            return;  // the call on its way takes this pass along
        passPosted = true;
    }
    QMetaObject::invokeMethod(this, [this] { ShowPass(); }, Qt::QueuedConnection);
}

void ServoTest::ShowPass()
{
    std::vector<CommTestSample> samples;
    int32_t traffic;
    {
        std::lock_guard lock(passMutex);
        samples.swap(passSamples);
        traffic = passTraffic;
        passPosted = false;
    }
    QString text;
    for (const CommTestSample& s : samples) {
        text += tr("舵机ID:%1  响应时间:%2us, 超时次数:%3")
                    .arg(s.id)
                    .arg(static_cast<int>(s.microseconds))
                    .arg(s.timeouts);
        if (s.answered)
            text += tr(" 通信速度:%1kb/s").arg(CommSpeedKbps(s.bytes, s.microseconds), 0, 'f', 2);
        text += QLatin1Char('\n');
    }
    resultBox->setPlainText(text);
    trafficLabel->setText(tr("通信流量:%1Byte").arg(traffic));
}

void ServoTest::OnTestEnded()
{
    testActive = false;
    testRunning = false;
    testButton->setEnabled(!UpgradeRunning());
    if (testButton->text() != tr("测试"))
        testButton->setText(tr("测试"));
    UpdateUpgradeEnabled();
    emit TestEnded();
}
