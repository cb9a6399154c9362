<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Device Status</name>
    <message>
        <source>空闲</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>休眠</source>
        <translation>Sleeping</translation>
    </message>
    <message>
        <source>正在预热..</source>
        <translation>Preheating..</translation>
    </message>
    <message>
        <source>正在传输..</source>
        <translation>Transferring..</translation>
    </message>
    <message>
        <source>正在打印..</source>
        <translation>Printing..</translation>
    </message>
    <message>
        <source>正在取消..</source>
        <translation>Cancelling..</translation>
    </message>
    <message>
        <source>正在散热..</source>
        <translation>Cooling..</translation>
    </message>
</context>
<context>
    <name>Error Code</name>
    <message>
        <source>数据传输错误</source>
        <translation>Data Transfer Error</translation>
    </message>
    <message>
        <source>LSU数据错误</source>
        <translation>LSU Data Error</translation>
    </message>
    <message>
        <source>多用途纸盒卡纸</source>
        <translation>Multi-tray jam</translation>
    </message>
    <message>
        <source>纸盒1卡纸</source>
        <translation>Tray 1 jam</translation>
    </message>
    <message>
        <source>纸盒2卡纸</source>
        <translation>Tray 2 jam</translation>
    </message>
    <message>
        <source>纸盒卡纸</source>
        <translation>Paper jam</translation>
    </message>
    <message>
        <source>硒鼓位置卡纸</source>
        <translation>Drum jam</translation>
    </message>
    <message>
        <source>定影器卡纸</source>
        <translation>Fuser jam</translation>
    </message>
    <message>
        <source>双面器卡纸</source>
        <translation>Duplex jam</translation>
    </message>
    <message>
        <source>卡纸</source>
        <translation>Paper Jam</translation>
    </message>
    <message>
        <source>多用途纸盒缺纸</source>
        <translation>Multi-tray empty</translation>
    </message>
    <message>
        <source>纸盒1缺纸</source>
        <translation>Tray 1 empty</translation>
    </message>
    <message>
        <source>纸盒2缺纸</source>
        <translation>Tray 2 empty</translation>
    </message>
    <message>
        <source>缺纸</source>
        <translation>Out of Paper</translation>
    </message>
    <message>
        <source>墨粉已用尽</source>
        <translation>Toner Depleted</translation>
    </message>
    <message>
        <source>硒鼓已用尽</source>
        <translation>Drum Exhausted</translation>
    </message>
    <message>
        <source>纸张尺寸不符</source>
        <translation>Paper Size Mismatch</translation>
    </message>
    <message>
        <source>机盖未关</source>
        <translation>Cover Open</translation>
    </message>
    <message>
        <source>硒鼓仓门开</source>
        <translation>Drum Door Open</translation>
    </message>
    <message>
        <source>无墨粉盒</source>
        <translation>No Toner Cartridge</translation>
    </message>
    <message>
        <source>无硒鼓</source>
        <translation>No Drum Unit</translation>
    </message>
    <message>
        <source>LSU错误</source>
        <translation>LSU Error</translation>
    </message>
    <message>
        <source>定影器加热错误</source>
        <translation>Fixer Heating Error</translation>
    </message>
    <message>
        <source>主电机错误</source>
        <translation>Motor Failure</translation>
    </message>
    <message>
        <source>打印机错误#0801</source>
        <translation>Printer Error #0801</translation>
    </message>
    <message>
        <source>纸盒1空</source>
        <translation>Tray 1 Empty</translation>
    </message>
    <message>
        <source>纸盒2空</source>
        <translation>Tray 2 Empty</translation>
    </message>
    <message>
        <source>出纸盒满</source>
        <translation>Output Bin Full</translation>
    </message>
    <message>
        <source>墨粉余量低</source>
        <translation>Low Toner</translation>
    </message>
    <message>
        <source>硒鼓余量低</source>
        <translation>Low Drum Level</translation>
    </message>
    <message>
        <source>纸盒2纸量低</source>
        <translation>Tray 2 Low Paper</translation>
    </message>
    <message>
        <source>纸盒1纸量低</source>
        <translation>Tray 1 Low Paper</translation>
    </message>
    <message>
        <source>打印数据过大</source>
        <translation>Print Data Exceeds</translation>
    </message>
    <message>
        <source>定影器加热曲线异常</source>
        <translation>Fixer Heating Curve Abnormal</translation>
    </message>
    <message>
        <source>定影器其他错误</source>
        <translation>Other Fixer Errors</translation>
    </message>
    <message>
        <source>加密芯片错误</source>
        <translation>Security Chip Error</translation>
    </message>
    <message>
        <source>未设置密码</source>
        <translation>No Password Set</translation>
    </message>
    <message>
        <source>取消任务</source>
        <translation>Task Cancelled</translation>
    </message>
    <message>
        <source>打印机严重错误</source>
        <translation>Severe Printer Error</translation>
    </message>
    <message>
        <source>固件错误</source>
        <translation>Firmware Error</translation>
    </message>
</context>
<context>
    <name>FvqMain</name>
    <message>
        <source>屏幕画面已发送到打印机 %1</source>
        <translation>The screen was sent to the printer %1</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>安全</source>
        <translation>Safe</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>连接状态:</source>
        <translation>Connection Status:</translation>
    </message>
    <message>
        <source>打印机状态:</source>
        <translation>Printer Status:</translation>
    </message>
    <message>
        <source>已连接 </source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>未连接 </source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>墨粉余量</source>
        <translation>Toner</translation>
    </message>
    <message>
        <source>打印机故障</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>暂无设备连接</source>
        <translation>No Device Connected</translation>
    </message>
</context>
<context>
    <name>FvqMyTrayAlert</name>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
