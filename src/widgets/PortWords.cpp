#include "widgets/PortWords.h"

QString PortWords::OpenReason(const OpenFailure& failure)
{
    switch (failure.reason) {
    case OpenError::NoSuchDevice: return tr("设备不存在");
    case OpenError::PermissionDenied: return tr("没有权限 (请将用户加入 dialout 组后重新登录)");
    case OpenError::Busy: return tr("端口被其他程序占用");
    case OpenError::NotSerialDevice: return tr("不是串口设备");
    case OpenError::Refused: return tr("连接被拒绝");
    case OpenError::HostNotFound: return tr("找不到主机");
    case OpenError::ConnectTimeout: return tr("服务器 3 秒内没有应答");
    case OpenError::CertificateRefused: return tr("服务器证书无效");
    case OpenError::NoRfc2217: return tr("服务器不支持 RFC 2217 (COM-PORT-OPTION)");
    case OpenError::ServerBusy: return tr("服务器的设备正忙 (被另一个连接占用)") + QString::fromStdString(failure.systemText.empty() ? "" : ": " + failure.systemText);
    case OpenError::None: return QString::fromStdString(failure.systemText);
    case OpenError::Other: break;
    }
    return failure.systemText.empty() ? QStringLiteral("cannot open")
                                      : QString::fromStdString(failure.systemText);
}

QString PortWords::OpenFailed(const QString& port, const OpenFailure& failure)
{
    return tr("无法打开端口 %1: %2").arg(port, OpenReason(failure));
}

QString PortWords::RateRefused(const QString& port, const RateRefusal& refusal)
{
    if (refusal.control == RateControl::Shared)
        return Refused(refusal.owner, refusal.running, SharedRefusal::Rate);
    if (refusal.control == RateControl::Fixed)
        return tr("%1 是原始 TCP 端口, 波特率由服务器设定, 不能设为 %2").arg(port).arg(refusal.asked);
    return tr("波特率 %1 被驱动拒绝, 端口仍为 %2").arg(refusal.asked).arg(refusal.running);
}

QString PortWords::SlowAdapter(const QString& port, int latencyMs)
{
#ifdef _WIN32
    return tr("%1: 适配器的延迟计时器为 %2 ms, 每次通信都要等它; 可在设备管理器中该端口的"
              "属性 > 端口设置 > 高级里改为 1 ms, 或以管理员权限将注册表中该设备"
              " Device Parameters 下的 LatencyTimer 设为 1")
        .arg(port).arg(latencyMs);
#else
    return tr("%1: 适配器的延迟计时器为 %2 ms, 每次通信都要等它; 请以 root 身份向它在 sysfs 中的"
              " latency_timer 写入 1")
        .arg(port).arg(latencyMs);
#endif
}

QString PortWords::SharedBy(const QString& port, const ShareOwner& owner)
{
    return tr("端口 %1 由 %2 (pid %3) 共享").arg(port, QString::fromStdString(owner.program)).arg(owner.pid);
}

QString PortWords::Refused(const ShareOwner& owner, int rate, SharedRefusal what)
{
    const QString program = QString::fromStdString(owner.program);
    if (what == SharedRefusal::Firmware)
        return tr("总线由 %2 (pid %3) 以 %1 波特率共享; 请在该程序中关闭端口后再升级固件")
            .arg(rate).arg(program).arg(owner.pid);
    return tr("总线由 %2 (pid %3) 以 %1 波特率共享; 请在该程序中关闭端口后再更改波特率")
        .arg(rate).arg(program).arg(owner.pid);
}

QString PortWords::SharedWith(int programs)
{
    return tr("共享给 %n 个程序", nullptr, programs);
}
