<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="zh_CN">
<context>
    <name>Device Status</name>
    <message>
        <source>空闲</source>
        <translation>Ожидание</translation>
    </message>
    <message>
        <source>休眠</source>
        <translation>Сон</translation>
    </message>
    <message>
        <source>正在预热..</source>
        <translation>Прогрев..</translation>
    </message>
    <message>
        <source>正在传输..</source>
        <translation>Передача..</translation>
    </message>
    <message>
        <source>正在打印..</source>
        <translation>Печать..</translation>
    </message>
    <message>
        <source>正在取消..</source>
        <translation>Отмена..</translation>
    </message>
    <message>
        <source>正在散热..</source>
        <translation>Охлажд..</translation>
    </message>
</context>
<context>
    <name>Error Code</name>
    <message>
        <source>数据传输错误</source>
        <translation>Ошибка передачи</translation>
    </message>
    <message>
        <source>LSU数据错误</source>
        <translation>Сбой данных лазера</translation>
    </message>
    <message>
        <source>多用途纸盒卡纸</source>
        <translation>Мульти-лоток зам.</translation>
    </message>
    <message>
        <source>纸盒1卡纸</source>
        <translation>Лоток 1 зам.</translation>
    </message>
    <message>
        <source>纸盒2卡纸</source>
        <translation>Лоток 2 зам.</translation>
    </message>
    <message>
        <source>纸盒卡纸</source>
        <translation>Замятие</translation>
    </message>
    <message>
        <source>硒鼓位置卡纸</source>
        <translation>Замятие (карт.)</translation>
    </message>
    <message>
        <source>定影器卡纸</source>
        <translation>Замятие печь</translation>
    </message>
    <message>
        <source>双面器卡纸</source>
        <translation>Замятие дуплекс</translation>
    </message>
    <message>
        <source>卡纸</source>
        <translation>Замятие</translation>
    </message>
    <message>
        <source>多用途纸盒缺纸</source>
        <translation>Мульти-лоток пуст</translation>
    </message>
    <message>
        <source>纸盒1缺纸</source>
        <translation>Лоток 1 пуст</translation>
    </message>
    <message>
        <source>纸盒2缺纸</source>
        <translation>Лоток 2 пуст</translation>
    </message>
    <message>
        <source>缺纸</source>
        <translation>Нет бумаги</translation>
    </message>
    <message>
        <source>墨粉已用尽</source>
        <translation>Тонер закончился</translation>
    </message>
    <message>
        <source>硒鼓已用尽</source>
        <translation>Замените drum</translation>
    </message>
    <message>
        <source>纸张尺寸不符</source>
        <translation>Формат бумаги не соотв.</translation>
    </message>
    <message>
        <source>机盖未关</source>
        <translation>Крышка откр.</translation>
    </message>
    <message>
        <source>硒鼓仓门开</source>
        <translation>Крышка открыта</translation>
    </message>
    <message>
        <source>无墨粉盒</source>
        <translation>Картридж отсутствует</translation>
    </message>
    <message>
        <source>无硒鼓</source>
        <translation>Drum отсутствует</translation>
    </message>
    <message>
        <source>LSU错误</source>
        <translation>Ошибка лазера</translation>
    </message>
    <message>
        <source>定影器加热错误</source>
        <translation>Нет нагрева печи</translation>
    </message>
    <message>
        <source>主电机错误</source>
        <translation>Отказ мотора</translation>
    </message>
    <message>
        <source>打印机错误#0801</source>
        <translation>Ошибка печати #0801</translation>
    </message>
    <message>
        <source>纸盒1空</source>
        <translation>Лоток 1 пуст</translation>
    </message>
    <message>
        <source>纸盒2空</source>
        <translation>Лоток 2 пуст</translation>
    </message>
    <message>
        <source>出纸盒满</source>
        <translation>Вых. лоток полон</translation>
    </message>
    <message>
        <source>墨粉余量低</source>
        <translation>Тонер закончился</translation>
    </message>
    <message>
        <source>硒鼓余量低</source>
        <translation>Drum изношен</translation>
    </message>
    <message>
        <source>纸盒2纸量低</source>
        <translation>Лоток 2 мало бумаги</translation>
    </message>
    <message>
        <source>纸盒1纸量低</source>
        <translation>Лоток 1 мало бумаги</translation>
    </message>
    <message>
        <source>打印数据过大</source>
        <translation>Прев. данных печати</translation>
    </message>
    <message>
        <source>定影器加热曲线异常</source>
        <translation>Ошибка скорости нагрева</translation>
    </message>
    <message>
        <source>定影器其他错误</source>
        <translation>Проч. ошибка печи</translation>
    </message>
    <message>
        <source>加密芯片错误</source>
        <translation>Ошибка чипа</translation>
    </message>
    <message>
        <source>未设置密码</source>
        <translation>Пароль не уст.</translation>
    </message>
    <message>
        <source>取消任务</source>
        <translation>Отменено</translation>
    </message>
    <message>
        <source>打印机严重错误</source>
        <translation>Неустранимая ошибка</translation>
    </message>
    <message>
        <source>固件错误</source>
        <translation>Ошибка прошивки</translation>
    </message>
</context>
<context>
    <name>FvqMain</name>
    <message>
        <source>屏幕画面已发送到打印机 %1</source>
        <translation>Снимок экрана отправлен на принтер %1</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Уст</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>Мин</translation>
    </message>
    <message>
        <source>安全</source>
        <translation>Безопасно</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Откр</translation>
    </message>
    <message>
        <source>连接状态:</source>
        <translation>Статус подкл.:</translation>
    </message>
    <message>
        <source>打印机状态:</source>
        <translation>Статус принтера:</translation>
    </message>
    <message>
        <source>已连接 </source>
        <translation>Подключено</translation>
    </message>
    <message>
        <source>未连接 </source>
        <translation>Отключено</translation>
    </message>
    <message>
        <source>墨粉余量</source>
        <translation>Тонер</translation>
    </message>
    <message>
        <source>打印机故障</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>Норм.</translation>
    </message>
    <message>
        <source>暂无设备连接</source>
        <translation>Нет подключения</translation>
    </message>
</context>
<context>
    <name>FvqMyTrayAlert</name>
    <message>
        <source>确认</source>
        <translation>ОК</translation>
    </message>
</context>
</TS>
