<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CPIC</name>
    <message>
        <source>曲线</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>● 记录中</source>
        <translation>● Recording</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>记录中</source>
        <translation>recording</translation>
    </message>
    <message>
        <source>高速采集 %1 次/秒</source>
        <translation>Fast capture %1 samples/s</translation>
    </message>
</context>
<context>
    <name>CRobotDlg</name>
    <message>
        <source>调试</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>位置(黑)</source>
        <translation>Position (black)</translation>
    </message>
    <message>
        <source>扭力(红)</source>
        <translation>Load (red)</translation>
    </message>
    <message>
        <source>速度(绿)</source>
        <translation>Speed (green)</translation>
    </message>
    <message>
        <source>目标(蓝)</source>
        <translation>Target (blue)</translation>
    </message>
    <message>
        <source>快慢(黄)</source>
        <translation>Fast/slow (yellow)</translation>
    </message>
    <message>
        <source>电流(青)</source>
        <translation>Current (cyan)</translation>
    </message>
    <message>
        <source>水平位移</source>
        <translation>Horizontal shift</translation>
    </message>
    <message>
        <source>水平缩放</source>
        <translation>Horizontal zoom</translation>
    </message>
    <message>
        <source>舵机操作</source>
        <translation>Servo control</translation>
    </message>
    <message>
        <source>扭能输出</source>
        <translation>Torque on</translation>
    </message>
    <message>
        <source>普通写</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>同步写</source>
        <translation>Sync write</translation>
    </message>
    <message>
        <source>异步写</source>
        <translation>Queued write</translation>
    </message>
    <message>
        <source>异步执行</source>
        <translation>Run queued</translation>
    </message>
    <message>
        <source>目标位置</source>
        <translation>Target position</translation>
    </message>
    <message>
        <source>加速度</source>
        <translation>Accel.</translation>
    </message>
    <message>
        <source>目标</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>舵机反馈</source>
        <translation>Servo feedback</translation>
    </message>
    <message>
        <source>电压:</source>
        <translation>Voltage:</translation>
    </message>
    <message>
        <source>温度:</source>
        <translation>Temp.:</translation>
    </message>
    <message>
        <source>扭力:</source>
        <translation>Load:</translation>
    </message>
    <message>
        <source>速度:</source>
        <translation>Speed:</translation>
    </message>
    <message>
        <source>位置:</source>
        <translation>Position:</translation>
    </message>
    <message>
        <source>电流:</source>
        <translation>Current:</translation>
    </message>
    <message>
        <source>移动:</source>
        <translation>Moving:</translation>
    </message>
    <message>
        <source>状态:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>目标:</source>
        <translation>Target:</translation>
    </message>
    <message>
        <source>异常操作</source>
        <translation>Unusual operation</translation>
    </message>
    <message>
        <source>异常操作,是否继续?</source>
        <translation>This is an unusual operation. Continue?</translation>
    </message>
    <message>
        <source>曲线菜单</source>
        <translation>Curve menu</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>导出 CSV...</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>导出图片...</source>
        <translation>Export image...</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>开始记录...</source>
        <translation>Start recording...</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>导出失败: </source>
        <translation>Export failed: </translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export image</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>无法写入记录文件: </source>
        <translation>Cannot write the recording file: </translation>
    </message>
    <message>
        <source>写入记录文件失败, 记录已停止: </source>
        <translation>Writing the recording file failed, recording stopped: </translation>
    </message>
    <message>
        <source>高速采集</source>
        <translation>Fast capture</translation>
    </message>
    <message>
        <source>阶跃测试</source>
        <translation>Step test</translation>
    </message>
</context>
<context>
    <name>CServoMain</name>
    <message>
        <source>通信记录</source>
        <translation>Traffic</translation>
    </message>
    <message>
        <source>动作</source>
        <translation>Motion</translation>
    </message>
    <message>
        <source>总线概览</source>
        <translation>Bus overview</translation>
    </message>
    <message>
        <source>调试</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>编程</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>升级</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>通信设置</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率:</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>舵机搜索</source>
        <translation>Servo search</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>ID号</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>正在查找 ID:%1 舵机...</source>
        <translation>Looking for servo ID %1...</translation>
    </message>
    <message>
        <source>停止</source>
        <comment>search status</comment>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>端口已断开</source>
        <translation>Port gone</translation>
    </message>
    <message>
        <source>端口未共享给其他程序: %1</source>
        <translation>The port is not shared with other programs: %1</translation>
    </message>
</context>
<context>
    <name>CTrafficWindow</name>
    <message>
        <source>通信记录</source>
        <translation>Traffic</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>操作:</source>
        <translation>Operation:</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>导出...</source>
        <translation>Export...</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>%1 条</source>
        <translation>%1 packets</translation>
    </message>
    <message>
        <source>；较早的 %1 条已丢弃（只保留最新的 %2 条）</source>
        <translation>; %1 older ones dropped (only the newest %2 are kept)</translation>
    </message>
    <message>
        <source>；已暂停</source>
        <translation>; paused</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>导出失败: %1</source>
        <translation>Export failed: %1</translation>
    </message>
</context>
<context>
    <name>CZiridEVApp</name>
    <message>
        <source>型号文件: %1</source>
        <translation>Model file: %1</translation>
    </message>
</context>
<context>
    <name>PortWords</name>
    <message>
        <source>设备不存在</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>没有权限 (请将用户加入 dialout 组后重新登录)</source>
        <translation>permission denied (add the user to the dialout group and log in again)</translation>
    </message>
    <message>
        <source>端口被其他程序占用</source>
        <translation>the port is in use by another program</translation>
    </message>
    <message>
        <source>不是串口设备</source>
        <translation>not a serial device</translation>
    </message>
    <message>
        <source>无法打开端口 %1: %2</source>
        <translation>Cannot open port %1: %2</translation>
    </message>
    <message>
        <source>波特率 %1 被驱动拒绝, 端口仍为 %2</source>
        <translation>The driver refused baud rate %1; the port stays at %2</translation>
    </message>
    <message>
        <source>%1: 适配器的延迟计时器为 %2 ms, 每次通信都要等它; 可在设备管理器中该端口的属性 &gt; 端口设置 &gt; 高级里改为 1 ms, 或以管理员权限将注册表中该设备 Device Parameters 下的 LatencyTimer 设为 1</source>
        <translation>%1: the adapter&apos;s latency timer is %2 ms, which every exchange waits for; lower it to 1 ms in Device Manager (the port&apos;s Properties &gt; Port Settings &gt; Advanced), or set LatencyTimer to 1 under the device&apos;s Device Parameters key in the registry with administrator rights</translation>
    </message>
    <message>
        <source>%1: 适配器的延迟计时器为 %2 ms, 每次通信都要等它; 请以 root 身份向它在 sysfs 中的 latency_timer 写入 1</source>
        <translation>%1: the adapter&apos;s latency timer is %2 ms, which every exchange waits for; write 1 to its latency_timer in sysfs as root</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>找不到主机</source>
        <translation>host not found</translation>
    </message>
    <message>
        <source>服务器 3 秒内没有应答</source>
        <translation>no answer from the server within 3 s</translation>
    </message>
    <message>
        <source>%1 是原始 TCP 端口, 波特率由服务器设定, 不能设为 %2</source>
        <translation>%1 is a raw TCP port: its server sets the rate, so %2 baud cannot be set</translation>
    </message>
    <message>
        <source>服务器证书无效</source>
        <translation>the server&apos;s certificate is not valid</translation>
    </message>
    <message>
        <source>服务器不支持 RFC 2217 (COM-PORT-OPTION)</source>
        <translation>the server does not offer RFC 2217 (COM-PORT-OPTION)</translation>
    </message>
    <message>
        <source>服务器的设备正忙 (被另一个连接占用)</source>
        <translation>the server&apos;s device is busy (another connection holds it)</translation>
    </message>
    <message>
        <source>端口 %1 由 %2 (pid %3) 共享</source>
        <translation>%1 is shared by %2 (pid %3)</translation>
    </message>
    <message>
        <source>总线由 %2 (pid %3) 以 %1 波特率共享; 请在该程序中关闭端口后再升级固件</source>
        <translation>the bus is shared at %1 by %2 (pid %3); close it there to flash firmware</translation>
    </message>
    <message>
        <source>总线由 %2 (pid %3) 以 %1 波特率共享; 请在该程序中关闭端口后再更改波特率</source>
        <translation>the bus is shared at %1 by %2 (pid %3); close it there to change the rate</translation>
    </message>
    <message numerus="yes">
        <source>共享给 %n 个程序</source>
        <translation>
            <numerusform>Shared with %n program</numerusform>
            <numerusform>Shared with %n programs</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ServoPG</name>
    <message>
        <source>编程</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>保存参数</source>
        <translation>Save params</translation>
    </message>
    <message>
        <source>载入参数</source>
        <translation>Load params</translation>
    </message>
    <message>
        <source>重置参数</source>
        <translation>Reset params</translation>
    </message>
    <message>
        <source>重置角度</source>
        <translation>Reset angle</translation>
    </message>
    <message>
        <source>内存表</source>
        <translation>Memory table</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>内存</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>存储区域</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>读写</source>
        <translation>Access</translation>
    </message>
    <message>
        <source>舵机正常</source>
        <translation>Servo OK</translation>
    </message>
    <message>
        <source>舵机状态</source>
        <translation>Servo status</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>参数错误</source>
        <translation>Invalid value</translation>
    </message>
    <message>
        <source>%1不能小于%2</source>
        <translation>%1 must not be below %2</translation>
    </message>
    <message>
        <source>%1不能大于%2</source>
        <translation>%1 must not be above %2</translation>
    </message>
    <message>
        <source>参数保存</source>
        <translation>Save parameter</translation>
    </message>
    <message>
        <source>舵参数保存成功</source>
        <translation>Parameter saved</translation>
    </message>
    <message>
        <source>舵参数保存失败</source>
        <translation>Saving the parameter failed</translation>
    </message>
    <message>
        <source>参数设置</source>
        <translation>Set parameter</translation>
    </message>
    <message>
        <source>舵参数设置失败</source>
        <translation>Setting the parameter failed</translation>
    </message>
    <message>
        <source>无法保存参数文件</source>
        <translation>Cannot save the parameter file</translation>
    </message>
    <message>
        <source>无法打开参数文件</source>
        <translation>Cannot open the parameter file</translation>
    </message>
    <message>
        <source>参数载入</source>
        <translation>Load parameters</translation>
    </message>
    <message>
        <source>参数载入成功</source>
        <translation>Parameters loaded</translation>
    </message>
    <message>
        <source>参数载入失败</source>
        <translation>Loading the parameters failed</translation>
    </message>
    <message>
        <source>参数恢复</source>
        <translation>Reset parameters</translation>
    </message>
    <message>
        <source>参数恢复成功</source>
        <translation>Parameters reset</translation>
    </message>
    <message>
        <source>参数恢复失败</source>
        <translation>Resetting the parameters failed</translation>
    </message>
    <message>
        <source>角度重置</source>
        <translation>Reset angle</translation>
    </message>
    <message>
        <source>角度重置成功，圈数清除，角度恢复单圈角度!</source>
        <translation>Angle reset: turns cleared, back to a single-turn angle.</translation>
    </message>
    <message>
        <source>角度重置失败!</source>
        <translation>Resetting the angle failed.</translation>
    </message>
    <message>
        <source>风险操作</source>
        <translation>Risky operation</translation>
    </message>
    <message>
        <source>继续操作会产生损环舵机风险是否继续住下操作?</source>
        <translation>Going on may damage the servo. Continue?</translation>
    </message>
    <message>
        <source>操作成功如舵机产生异常请联系售后</source>
        <translation>Done. If the servo misbehaves, contact your supplier.</translation>
    </message>
    <message>
        <source>操作失败</source>
        <translation>Operation failed</translation>
    </message>
</context>
<context>
    <name>ServoTest</name>
    <message>
        <source>固件升级</source>
        <translation>Firmware upgrade</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>升级</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>通信测试</source>
        <translation>Communication test</translation>
    </message>
    <message>
        <source>通信流量:0Byte</source>
        <translation>Traffic: 0Byte</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Time-out</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start address</translation>
    </message>
    <message>
        <source>结束地址</source>
        <translation>End address</translation>
    </message>
    <message>
        <source>测试结果</source>
        <translation>Test results</translation>
    </message>
    <message>
        <source>测试</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>打开固件</source>
        <translation>Open firmware</translation>
    </message>
    <message>
        <source>无法打开固件</source>
        <translation>Cannot open the firmware</translation>
    </message>
    <message>
        <source>固件格式错误</source>
        <translation>The firmware file is malformed</translation>
    </message>
    <message>
        <source>地址范围错误</source>
        <translation>Invalid address range</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>解锁字节: </source>
        <translation>Unlock bytes: </translation>
    </message>
    <message>
        <source> (型号文件)</source>
        <translation> (model file)</translation>
    </message>
    <message>
        <source> (内置值, 仅虚拟总线适用)</source>
        <translation> (built-in, virtual bus only)</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>是否取消升级?</source>
        <translation>Cancel the upgrade?</translation>
    </message>
    <message>
        <source>升级已取消</source>
        <translation>Upgrade cancelled</translation>
    </message>
    <message>
        <source>备份文件: </source>
        <translation>Backup file: </translation>
    </message>
    <message>
        <source>无内存表, 未备份</source>
        <translation>No memory table, no backup</translation>
    </message>
    <message>
        <source>读取舵机参数失败, 无法备份。</source>
        <translation>Reading the servo parameters failed; no backup possible.</translation>
    </message>
    <message>
        <source>无法保存备份文件:
</source>
        <translation>Cannot save the backup file:
</translation>
    </message>
    <message>
        <source>是否不备份继续升级?</source>
        <translation>Upgrade without a backup?</translation>
    </message>
    <message>
        <source>未备份</source>
        <translation>No backup</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Upgrade failed</translation>
    </message>
    <message>
        <source>升级完成。是否载入升级前备份的参数?
</source>
        <translation>Upgrade done. Load the parameters backed up before it?
</translation>
    </message>
    <message>
        <source>舵机可能仍在引导程序中。
是否从解锁步骤重新升级(不发送升级指令)?</source>
        <translation>The servo may still be in its boot loader.
Upgrade again from the unlock step (without the upgrade command)?</translation>
    </message>
    <message>
        <source>引导程序中, 未备份</source>
        <translation>In boot loader, no backup</translation>
    </message>
    <message>
        <source>参数载入</source>
        <translation>Load parameters</translation>
    </message>
    <message>
        <source>参数载入成功</source>
        <translation>Parameters loaded</translation>
    </message>
    <message>
        <source>参数载入失败</source>
        <translation>Loading the parameters failed</translation>
    </message>
    <message>
        <source>舵机ID:%1  响应时间:%2us, 超时次数:%3</source>
        <translation>Servo ID: %1  response: %2us, time-outs: %3</translation>
    </message>
    <message>
        <source> 通信速度:%1kb/s</source>
        <translation> speed: %1kb/s</translation>
    </message>
    <message>
        <source>通信流量:%1Byte</source>
        <translation>Traffic: %1Byte</translation>
    </message>
    <message>
        <source>原始 TCP 端口的波特率由服务器设定, 不能切换到升级所需的 %1</source>
        <translation>A raw TCP port runs at its server&apos;s rate: it cannot switch to the %1 baud the upgrade needs</translation>
    </message>
</context>
<context>
    <name>ServoWords</name>
    <message>
        <source>过压/欠压</source>
        <translation>Over/under voltage</translation>
    </message>
    <message>
        <source>过热</source>
        <translation>Overheated</translation>
    </message>
    <message>
        <source>过流</source>
        <translation>Overcurrent</translation>
    </message>
    <message>
        <source>过载</source>
        <translation>Overload</translation>
    </message>
    <message>
        <source>传感器出错</source>
        <translation>Sensor error</translation>
    </message>
    <message>
        <source>舵机正常</source>
        <translation>Servo OK</translation>
    </message>
    <message>
        <source>通信超时</source>
        <translation>Time-out</translation>
    </message>
    <message>
        <source>%1 度</source>
        <translation>%1 °C</translation>
    </message>
    <message>
        <source>未知型号</source>
        <translation>Unknown model</translation>
    </message>
</context>
<context>
    <name>StepPlot</name>
    <message>
        <source>阶跃曲线</source>
        <translation>Step curves</translation>
    </message>
    <message>
        <source>时间 (ms)</source>
        <translation>Time (ms)</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
</context>
<context>
    <name>StepTestDialog</name>
    <message>
        <source>阶跃测试</source>
        <translation>Step test</translation>
    </message>
    <message>
        <source>起点:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>目标:</source>
        <translation>Target:</translation>
    </message>
    <message>
        <source>时长 (秒):</source>
        <translation>Duration (s):</translation>
    </message>
    <message>
        <source>重复次数:</source>
        <translation>Repeats:</translation>
    </message>
    <message>
        <source>扫描参数:</source>
        <translation>Sweep:</translation>
    </message>
    <message>
        <source>参数值:</source>
        <translation>Values:</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>导出 CSV...</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>导出图片...</source>
        <translation>Export image...</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>阶跃测试结果</source>
        <translation>Step test results</translation>
    </message>
    <message>
        <source>不扫描</source>
        <translation>None</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>参数值无效: %1</source>
        <translation>Not a valid value: %1</translation>
    </message>
    <message>
        <source>%1 的值须在 %2 到 %3 之间: %4</source>
        <translation>%1 must lie between %2 and %3: %4</translation>
    </message>
    <message>
        <source>请输入 %1 的参数值</source>
        <translation>Enter the values of %1</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>The port is not open</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>死区时间 (ms)</source>
        <translation>Dead time (ms)</translation>
    </message>
    <message>
        <source>上升时间 (ms)</source>
        <translation>Rise time (ms)</translation>
    </message>
    <message>
        <source>超调 (%)</source>
        <translation>Overshoot (%)</translation>
    </message>
    <message>
        <source>调节时间 (ms)</source>
        <translation>Settling time (ms)</translation>
    </message>
    <message>
        <source>稳态误差</source>
        <translation>Steady error</translation>
    </message>
    <message>
        <source>峰值负载</source>
        <translation>Peak load</translation>
    </message>
    <message>
        <source>峰值电流</source>
        <translation>Peak current</translation>
    </message>
    <message>
        <source>正在运行...</source>
        <translation>Running...</translation>
    </message>
    <message>
        <source>正在停止并恢复参数...</source>
        <translation>Stopping and restoring...</translation>
    </message>
    <message>
        <source>运行 %1</source>
        <translation>Run %1</translation>
    </message>
    <message>
        <source>正在运行 %1/%2...</source>
        <translation>Running %1 of %2...</translation>
    </message>
    <message>
        <source>完成: %1 次运行</source>
        <translation>Done: %1 runs</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>舵机无应答</source>
        <translation>The servo did not answer</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>A write failed</translation>
    </message>
    <message>
        <source>参数被拒绝: %1</source>
        <translation>Refused: %1</translation>
    </message>
    <message>
        <source>没有该舵机型号的内存表</source>
        <translation>No memory table for this model</translation>
    </message>
    <message>
        <source>串口已断开</source>
        <translation>The port is gone</translation>
    </message>
    <message>
        <source>有运行未到达目标</source>
        <translation>a run never reached the target</translation>
    </message>
    <message>
        <source>%1 已恢复为 %2</source>
        <translation>%1 restored to %2</translation>
    </message>
    <message>
        <source>%1 恢复为 %2 失败!</source>
        <translation>restoring %1 to %2 failed!</translation>
    </message>
    <message>
        <source>扭能输出已关闭</source>
        <translation>torque off again</translation>
    </message>
    <message>
        <source>关闭扭能输出失败!</source>
        <translation>switching the torque off failed!</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>导出失败: </source>
        <translation>Export failed: </translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export image</translation>
    </message>
    <message>
        <source>最多 %1 个参数值</source>
        <translation>At most %1 values</translation>
    </message>
</context>
<context>
    <name>TrafficModel</name>
    <message>
        <source>轮询</source>
        <translation>Poll</translation>
    </message>
    <message>
        <source>命令</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>传输</source>
        <translation>Transfer</translation>
    </message>
    <message>
        <source>测试</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Out</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>In</translation>
    </message>
    <message>
        <source>时间 (µs)</source>
        <translation>Time (µs)</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>字节</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>解码</source>
        <translation>Decoding</translation>
    </message>
    <message>
        <source>本程序</source>
        <translation>this program</translation>
    </message>
    <message>
        <source>程序</source>
        <translation>Program</translation>
    </message>
</context>
<context>
    <name>CalibrateDialog</name>
    <message>
        <source>校准</source>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>舵机</source>
        <translation>Servos</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>校正</source>
        <translation>Correction</translation>
    </message>
    <message>
        <source>限位</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>行程</source>
        <translation>Travel</translation>
    </message>
    <message>
        <source>设为中位</source>
        <translation>Set middle</translation>
    </message>
    <message>
        <source>记录行程</source>
        <translation>Record travel</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>消息</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>舵机 %1 的行程 (%2) 跨过零点: 写入把零点移到未用一段中间的校正?</source>
        <translation>Servo %1's travel (%2) crosses the seam: write the correction that moves the seam into the middle of the unused arc?</translation>
    </message>
    <message>
        <source>舵机 %1: </source>
        <translation>Servo %1: </translation>
    </message>
    <message>
        <source>完成, 校正 %1 → %2, 限位 %3 → %4</source>
        <translation>done, correction %1 → %2, limits %3 → %4</translation>
    </message>
    <message>
        <source> (校正方向相反)</source>
        <translation> (its correction counts the other way)</translation>
    </message>
    <message>
        <source>, 备份 %1</source>
        <translation>, backup %1</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>型号 %1 没有“%2”一项, 无法校准</source>
        <translation>model %1 has no item “%2”; it can't be calibrated</translation>
    </message>
    <message>
        <source>超出范围</source>
        <translation>outside the range</translation>
    </message>
    <message>
        <source>所需校正 %1 无法写入; 请把关节转到约 %2 (现为 %3) 后再校准</source>
        <translation>the correction needed (%1) can't be written; turn the joint to read about %2 (now %3) and calibrate again</translation>
    </message>
    <message>
        <source>无法关闭扭矩</source>
        <translation>its torque could not be switched off</translation>
    </message>
    <message>
        <source>无法写入备份 %1</source>
        <translation>cannot write the backup %1</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>did not take a write</translation>
    </message>
    <message>
        <source>校正后位置读数为 %1, 不在目标的 ±%2 之内</source>
        <translation>the position reads %1 after the correction, not within ±%2 of its target</translation>
    </message>
    <message>
        <source>关节未转动</source>
        <translation>the joint did not move</translation>
    </message>
    <message>
        <source>行程跨过零点, 未写入</source>
        <translation>the travel crosses the seam; nothing written</translation>
    </message>
    <message>
        <source>没有校准备份</source>
        <translation>no calibration backup</translation>
    </message>
    <message>
        <source>; 已写回备份 %1</source>
        <translation>; its backup %1 was written back</translation>
    </message>
    <message>
        <source>; 备份未能写回, 请载入 %1</source>
        <translation>; its backup could not be written back: load %1</translation>
    </message>
    <message>
        <source>; 无法重新打开扭矩</source>
        <translation>; its torque could not be switched back on</translation>
    </message>
</context>
<context>
    <name>MotionPlot</name>
    <message>
        <source>目标曲线</source>
        <translation>Target curves</translation>
    </message>
</context>
<context>
    <name>MotionWindow</name>
    <message>
        <source>动作</source>
        <translation>Motion</translation>
    </message>
    <message>
        <source>舵机 ID:</source>
        <translation>Servo IDs:</translation>
    </message>
    <message>
        <source>记录姿态</source>
        <translation>Record pose</translation>
    </message>
    <message>
        <source>松开扭矩</source>
        <translation>Release torque</translation>
    </message>
    <message>
        <source>删除关键帧</source>
        <translation>Delete keyframe</translation>
    </message>
    <message>
        <source>姿态</source>
        <translation>Pose</translation>
    </message>
    <message>
        <source>时间 (ms)</source>
        <translation>Time (ms)</translation>
    </message>
    <message>
        <source>保持 (ms)</source>
        <translation>Hold (ms)</translation>
    </message>
    <message>
        <source>关键帧</source>
        <translation>Keyframes</translation>
    </message>
    <message>
        <source>插值:</source>
        <translation>Easing:</translation>
    </message>
    <message>
        <source>平滑</source>
        <translation>Smooth</translation>
    </message>
    <message>
        <source>线性</source>
        <translation>Linear</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>速度:</source>
        <translation>Speed:</translation>
    </message>
    <message>
        <source>打开...</source>
        <translation>Open...</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>打开动作</source>
        <translation>Open motion</translation>
    </message>
    <message>
        <source>动作文件 (*.json)</source>
        <translation>Motion files (*.json)</translation>
    </message>
    <message>
        <source>保存动作</source>
        <translation>Save motion</translation>
    </message>
    <message>
        <source>无法打开 %1: %2</source>
        <translation>Cannot open %1: %2</translation>
    </message>
    <message>
        <source>已打开 %1</source>
        <translation>Opened %1</translation>
    </message>
    <message>
        <source>无法保存: %1</source>
        <translation>Cannot save: %1</translation>
    </message>
    <message>
        <source>已保存 %1</source>
        <translation>Saved %1</translation>
    </message>
    <message>
        <source>ID 无效: %1</source>
        <translation>Not a servo ID: %1</translation>
    </message>
    <message>
        <source>请输入舵机 ID</source>
        <translation>Enter the servo IDs</translation>
    </message>
    <message>
        <source>每个关键帧须是同一组舵机</source>
        <translation>Every keyframe must name the same servos</translation>
    </message>
    <message>
        <source>舵机 %1 无应答</source>
        <translation>Servo %1 does not answer</translation>
    </message>
    <message>
        <source>已记录关键帧 %1</source>
        <translation>Keyframe %1 recorded</translation>
    </message>
    <message>
        <source>扭矩已松开, 可用手摆姿态</source>
        <translation>Torque released; pose the servos by hand</translation>
    </message>
    <message>
        <source>关键帧 %1 的时间无效</source>
        <translation>Keyframe %1 has an invalid time</translation>
    </message>
    <message>
        <source>没有关键帧</source>
        <translation>No keyframes</translation>
    </message>
    <message>
        <source>舵机 %1 无应答, 未移动</source>
        <translation>Servo %1 does not answer; nothing moved</translation>
    </message>
    <message>
        <source>这些舵机不能用一个同步包驱动</source>
        <translation>These servos cannot be driven by one sync packet</translation>
    </message>
    <message>
        <source>舵机 %1 关键帧 %2: %3 → %4</source>
        <translation>servo %1 keyframe %2: %3 → %4</translation>
    </message>
    <message>
        <source>播放中</source>
        <translation>Playing</translation>
    </message>
    <message>
        <source>播放中; 超出限位已限幅: %1</source>
        <translation>Playing; clamped to the limits: %1</translation>
    </message>
    <message>
        <source>播放完毕, 保持姿态</source>
        <translation>Done, holding the pose</translation>
    </message>
    <message>
        <source>已停止, 保持姿态</source>
        <translation>Stopped, holding the pose</translation>
    </message>
    <message>
        <source>舵机 %1 无应答, 动作已停止</source>
        <translation>Servo %1 stopped answering; the motion stopped</translation>
    </message>
    <message>
        <source>端口已断开, 动作已停止</source>
        <translation>Port gone; the motion stopped</translation>
    </message>
    <message>
        <source>同步包未发出, 动作已停止</source>
        <translation>A sync packet was not sent; the motion stopped</translation>
    </message>
</context>
<context>
    <name>BusWords</name>
    <message>
        <source>ID %1: 可能有两个舵机应答此 ID</source>
        <translation>ID %1: two servos may answer to this ID</translation>
    </message>
    <message>
        <source>适配器回显发送的字节, 回显已跳过</source>
        <translation>the adapter echoes what is sent; the echo is skipped</translation>
    </message>
    <message>
        <source>接近温度上限</source>
        <translation>near the temperature limit</translation>
    </message>
    <message>
        <source>电压过低</source>
        <translation>voltage low</translation>
    </message>
    <message>
        <source>电压过高</source>
        <translation>voltage high</translation>
    </message>
    <message>
        <source>负载过高</source>
        <translation>overload</translation>
    </message>
    <message>
        <source>故障位</source>
        <translation>fault bit</translation>
    </message>
    <message>
        <source>1 秒无应答</source>
        <translation>no answer for 1 s</translation>
    </message>
    <message>
        <source>电源电压跌落</source>
        <translation>supply sags</translation>
    </message>
</context>
<context>
    <name>OverviewWindow</name>
    <message>
        <source>总线概览</source>
        <translation>Bus overview</translation>
    </message>
    <message>
        <source>总线</source>
        <translation>Bus</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>电压</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>负载</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>应答 %</source>
        <translation>Answered %</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Time-outs</translation>
    </message>
    <message>
        <source>校验错误</source>
        <translation>Checksum errors</translation>
    </message>
    <message>
        <source>p99 延迟</source>
        <translation>p99 latency</translation>
    </message>
    <message>
        <source>上次应答</source>
        <translation>Last answer</translation>
    </message>
    <message>
        <source>告警</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>舵机</source>
        <translation>Servos</translation>
    </message>
    <message>
        <source>扫描</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Acknowledge</translation>
    </message>
    <message>
        <source>导出 CSV...</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>记录日志...</source>
        <translation>Keep a log...</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>Cannot write %1</translation>
    </message>
    <message>
        <source>记录日志</source>
        <translation>Keep a log</translation>
    </message>
    <message>
        <source>记录到 %1</source>
        <translation>Logging to %1</translation>
    </message>
    <message>
        <source>日志写入失败, 记录已停止</source>
        <translation>The log could not be written; logging stopped</translation>
    </message>
    <message>
        <source>正在扫描所有波特率...</source>
        <translation>Scanning every rate...</translation>
    </message>
    <message>
        <source>正在识别舵机...</source>
        <translation>Identifying the servos...</translation>
    </message>
    <message>
        <source>正在扫描: %1 波特, ID %2...</source>
        <translation>Scanning: %1 baud, ID %2...</translation>
    </message>
    <message>
        <source>ID %1 (%2 波特)</source>
        <translation>ID %1 (%2 baud)</translation>
    </message>
    <message>
        <source>所有波特率下都没有舵机应答</source>
        <translation>No servo answered at any rate</translation>
    </message>
    <message>
        <source>在 %1 波特监视; 其他波特率的舵机未监视: %2</source>
        <translation>Watching at %1 baud; servos at other rates are not watched: %2</translation>
    </message>
    <message>
        <source>在 %1 波特监视 %2 个舵机</source>
        <translation>Watching %2 servos at %1 baud</translation>
    </message>
    <message>
        <source>ID %1 告警: %2</source>
        <translation>ID %1 alarm: %2</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>两个舵机?</source>
        <translation>Two servos?</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>总线: %1 次交换/秒, 线路占用 %2%</source>
        <translation>Bus: %1 exchanges/s, line busy %2%</translation>
    </message>
</context>
</TS>
