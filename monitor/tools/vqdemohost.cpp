// Puts a simulated host tree into one of the demo's named states (the same
// names as printersim's demo scenario). Used by scripts/demo.sh when the
// printer emulator is not built.
// Usage: vqdemohost <host root> <state>
#include "vqsimtree.h"

#include "printerlink/vqproduct.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>

namespace {

struct Printer
{
    int index;  // 1 or 2
    CvqStsFields sts;
};

CvqStsFields idle(int tonerPct)
{
    CvqStsFields f;
    f.crumT = quint16(tonerPct * 100);
    return f;
}

QString instanceIdOf(int index)
{
    const CvqProduct& row = vqProducts.at(index - 1);
    return QStringLiteral("USB\\VID_%1&PID_%2\\QV%3").arg(row.vidpid.vid, row.vidpid.pid).arg(index, 4, 10, QLatin1Char('0'));
}

QString queueOf(int index)
{
    return vqProducts.at(index - 1).name;
}

bool statePrinters(const QString& state, QList<Printer>* out)
{
    if (state == QLatin1String("no-printer"))
        return true;
    if (state == QLatin1String("idle80")) {
        *out << Printer{1, idle(80)};
    } else if (state == QLatin1String("printing")) {
        CvqStsFields f = idle(80);
        f.statusBytes[7] = 2;  // engine printing
        f.inPrintJob = 1;
        *out << Printer{1, f};
    } else if (state == QLatin1String("toner5")) {
        *out << Printer{1, idle(5)};
    } else if (state == QLatin1String("jam-cover")) {
        CvqStsFields f = idle(60);
        f.statusBytes[5] = 0x02;  // paper jam
        f.statusBytes[6] = 0x15;  // cover open; the fault sits in tray 1
        *out << Printer{1, f};
    } else if (state == QLatin1String("six-faults")) {
        CvqStsFields f = idle(40);
        f.statusBytes[3] = 0x01;  // fuser heating
        f.statusBytes[5] = 0x0F;  // out of paper, jam, motor, bin full
        f.statusBytes[6] = 0x15;  // cover open; tray 1
        *out << Printer{1, f};
    } else if (state == QLatin1String("two-printers")) {
        CvqStsFields busy = idle(30);
        busy.statusBytes[7] = 2;
        busy.inPrintJob = 1;
        *out << Printer{1, idle(55)} << Printer{2, busy};
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QList<Printer> printers;
    if (args.size() != 3 || !statePrinters(args.at(2), &printers)) {
        std::fprintf(stderr,
                     "usage: vqdemohost <host root> "
                     "no-printer|idle80|printing|toner5|jam-cover|six-faults|two-printers\n");
        return 2;
    }
    CvqSimTree tree(args.at(1));
    bool ok = QDir().mkpath(args.at(1) + QStringLiteral("/usb"));
    for (int index : {1, 2}) {
        bool wanted = false;
        for (const Printer& p : qAsConst(printers))
            wanted = wanted || p.index == index;
        if (!wanted) {
            tree.vqRemoveDevice(instanceIdOf(index));
            tree.vqRemoveQueue(queueOf(index));
        }
    }
    for (const Printer& p : qAsConst(printers)) {
        const CvqProduct& row = vqProducts.at(p.index - 1);
        const QString id = instanceIdOf(p.index);
        const QString sn = id.section(QLatin1Char('\\'), 2);
        ok = ok && tree.vqAddDevice(id, vqMakeDeviceId(row.name, QStringLiteral("V1.3.6500"), sn, p.sts, 2))
             && tree.vqAddQueue(queueOf(p.index), id, p.index);
    }
    return ok ? 0 : 1;
}
