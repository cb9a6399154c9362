#include "fvqmain.h"
#include "ui_fvqmain.h"

#include <QThread>

// The vendor ids of the low-level cycle: ours and two more, every product of each.
static const char* const kLowLevelVendors[] = {"1A2B", "2B3C", "3C4D"};
static const char kVqdowbCmd[] = "/usr/local/bin/vqlcd.out vqdowbMain ";
static const char kPingCmd[] = "ping -c 1 example.com";

static QString envOr(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QString vqBenchComPort() { return envOr("VQ_BENCH_COM", QStringLiteral("com5")); }
QString vqBenchHttpHost() { return envOr("VQ_BENCH_HTTP", QStringLiteral("127.0.0.1")); }
QString vqBenchScanDir() { return envOr("VQ_BENCH_SCANDIR", QStringLiteral("d:\\")); }

FvqMain::FvqMain(QWidget* parent) : QWidget(parent), ui(new Ui::FvqMain)
{
    ui->setupUi(this);
    vqRegisterStateMetaTypes();
    coreTrd = new CvqCoreTrd(this);
    connect(coreTrd, &CvqCoreTrd::vqOnChange, this, &FvqMain::vqWhenOnCoreTrdChange);
    coreTrd->start(QThread::InheritPriority);
}

FvqMain::~FvqMain()
{
    vqQuitAll();
    coreTrd->wait();
    delete ui;
}

void FvqMain::on_pushButton_clicked()
{
    QList<CvqUsbDevFilter> filters;
    for (const char* vid : kLowLevelVendors)
        filters.append({CvqVIDPID(QLatin1String(vid), QString()), nullptr});
    const QMap<QString, CvqUsbDevKnInfo> devices = vqGetUsbPrinters(filters);
    ui->textEdit->setText(vqToStr(devices));
    const QMap<QString, QString> queues = vqGetUsbPrinterQueues(devices.keys());
    ui->textEdit_2->setText(vqToStr(queues));

    // Every device is read, queue or not; the entries carry no product row.
    QString raw, parsed;
    for (const QString& id : devices.keys()) {
        const QString text = vqReadDeviceId(id);
        raw += id + " : " + text + "\n";
        parsed += id + " : " + vqToStr(vqParseDeviceId(text, 1)) + "\n";
    }
    ui->textEdit_3->setText(raw);
    ui->textEdit_4->setText(parsed);
}

QString FvqMain::vqPollText()
{
    const QString text = vqToStr(vqPollCycle());
    ui->textEdit_5->setText(text);
    return text;
}

void FvqMain::on_pushButton_2_clicked() { vqPollText(); }

void FvqMain::on_pushButton_3_clicked()
{
    for (uint codePoint : vqPollText().toUcs4())
        qDebug() << codePoint;
}

void FvqMain::vqTestComm(CvqComm& comm, const QString& path)
{
    QByteArray data;
    bool ok = comm.vqGetFile(path, data);
    qDebug() << "test vqGetFile" << ok << data;
    bool exists = false;
    ok = comm.vqHasFile(path, exists);
    qDebug() << "test vqHasFile" << ok;
    for (int i = 0; i < 2; ++i) {
        ok = comm.vqDelFile(path);
        qDebug() << "test vqDelFile" << ok;
    }
    QString out;
    ok = comm.vqExe(QLatin1String(kPingCmd), out, 10);
    qDebug() << "test vqExe" << ok << out;
    ok = comm.vqExeAlong(QLatin1String(kVqdowbCmd));
    qDebug() << "test vqExeAlong" << ok;
}

void FvqMain::on_pushButton_4_clicked()
{
    CvqCommOfUsb comm(vqBenchComPort());
    vqTestComm(comm, QStringLiteral("/tmp/1.txt"));
}

void FvqMain::on_pushButton_5_clicked()
{
    CvqScanParams params;
    params.vqScannerHostTp = 2;
    params.vqScannerHost = vqBenchComPort();
    CvqDoScan::vqNewTaskId(params);
    params.saveToFileFormat = QStringLiteral("jpg");
    params.scanPaperSizeTypeEngName = QStringLiteral("A4");
    params.vqOutDir = vqBenchScanDir();
    QString err;
    const int code = CvqDoScan().vqDoScan(params, err);
    qDebug() << code << err;
    ui->textEdit_5->setText(QStringLiteral("%1 %2").arg(code).arg(err));
}

void FvqMain::on_pushButton_6_clicked()
{
    ui->textEdit_5->setText(QStringLiteral("--%1--").arg(3, 4, 10, QLatin1Char('0')));
}

void FvqMain::on_pushButton_7_clicked()
{
    CvqCommOfHttp comm(vqBenchHttpHost());
    vqTestComm(comm, QStringLiteral("/tmp/vqkeltoscans/1.txt"));
}

void FvqMain::vqWhenOnCoreTrdChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates)
{
    Q_UNUSED(oldStates);
    qDebug() << "main" << QThread::currentThreadId();
    ui->textEdit_6->append(vqToStr(newStates));
}
