#include "vqjetmem.h"

#include <QStringList>

QDebug operator<<(QDebug dbg, const CvqJetMem& m)
{
    QDebugStateSaver saver(dbg);
    QString bytes;
    for (int i = 0; i < 10; ++i)
        bytes += (i ? QStringLiteral("/") : QString()) + QString::number(m.status_bytes[i]);
    dbg.nospace() << "CvqJetMem(" << (m.ok ? "true" : "false") << "," << m.mdl << "," << m.ex << "," << m.romver << ","
                  << m.sn << ",job_printed_count=" << m.job_printed_count << ",inprintjob=" << int(m.inprintjob)
                  << ",status_bytes=" << bytes.toLatin1().constData() << ",AllPrintCount=" << m.AllPrintCount
                  << ",crum_status=" << int(m.crum_status) << ",crum_t_percent=" << m.crum_t_percent
                  << ",crum_d_percent=" << m.crum_d_percent << ",vqPXG=" << m.vqPXG << ",vqTLL=" << m.vqTLL
                  << ",vqIGNORENODRUM=" << (m.vqIGNORENODRUM ? "true" : "false") << ")";
    return dbg;
}

quint32 vqReadHex(const char** cursor, bool* ok, int digits)
{
    *ok = false;
    if (!cursor || !*cursor)
        return 0;
    quint32 value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = **cursor;
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return 0;  // never step past the terminator
        ++*cursor;
        value = value * 16 + quint32(d);
    }
    *ok = true;
    return value;
}

namespace {
// The status text's fields in the order they come: hex digits each, how many.
struct CvqStsField
{
    const char* name;  // as logged when the field is short or not hex
    int digits;
    int count;
    void (*store)(CvqJetMem& mem, int index, quint32 value);
};

const CvqStsField kStsFields[] = {
    {"status_print_count", 4, 1, [](CvqJetMem& m, int, quint32 v) { m.job_printed_count = quint16(v); }},
    {"inprintjob", 2, 1, [](CvqJetMem& m, int, quint32 v) { m.inprintjob = quint8(v); }},
    {"status_bytes", 2, 10, [](CvqJetMem& m, int i, quint32 v) { m.status_bytes[i] = quint8(v); }},
    {"crum_status", 2, 1, [](CvqJetMem& m, int, quint32 v) { m.crum_status = quint8(v); }},
    {"crum_t_percent", 4, 1, [](CvqJetMem& m, int, quint32 v) { m.crum_t_percent = quint16(v); }},
    {"crum_d_percent", 4, 1, [](CvqJetMem& m, int, quint32 v) { m.crum_d_percent = quint16(v); }},
};
}  // namespace

bool vqParseSts(CvqJetMem& mem, const QString& sts)
{
    QByteArray raw = sts.toUtf8();
    const int zero = raw.indexOf('\0');
    if (zero >= 0)
        raw.truncate(zero);
    if (raw.isEmpty())
        return false;
    if (raw.count('A') == raw.size())
        return false;
    for (char& c : raw)
        c = char(quint8(c) - 17);

    const char* cur = raw.constData();  // zero-terminated by QByteArray
    for (const CvqStsField& f : kStsFields) {
        for (int i = 0; i < f.count; ++i) {
            bool ok = false;
            const quint32 value = vqReadHex(&cur, &ok, f.digits);
            if (!ok) {
                if (f.count > 1)
                    qDebug() << (QByteArray("(vq)") + f.name + '[').constData() << i << "] too short or not hex";
                else
                    qDebug() << (QByteArray("(vq)") + f.name + " too short or not hex").constData();
                return false;
            }
            f.store(mem, i, value);
        }
    }
    bool ok = false;
    mem.AllPrintCount = vqReadHex(&cur, &ok, 6);  // optional
    return true;
}

static qint32 toDecimal(const QString& v)
{
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok ? n : 0;
}

CvqJetMem vqParseDeviceId(const QString& text, int defaultPxg)
{
    CvqJetMem m;
    m.ok = true;
    const QStringList pieces = text.split(';');
    for (const QString& piece : pieces) {
        const int colon = piece.indexOf(':');
        if (colon < 0)
            continue;
        const QString key = piece.left(colon).trimmed();
        const QString value = piece.mid(colon + 1).trimmed();
        if (key == QLatin1String("MDL"))
            m.mdl = value;
        else if (key == QLatin1String("EX"))
            m.ex = value;
        else if (key == QLatin1String("ROMVER"))
            m.romver = value;
        else if (key == QLatin1String("SN"))
            m.sn = value;
        else if (key == QLatin1String("PXG"))
            m.vqPXG = toDecimal(value);
        else if (key == QLatin1String("TLL"))
            m.vqTLL = toDecimal(value);
        else if (key == QLatin1String("STS") && !vqParseSts(m, value))
            m.ok = false;
    }
    if (m.vqPXG < 1)
        m.vqPXG = defaultPxg < 1 ? 1 : defaultPxg;
    if (m.vqTLL < 1)
        m.vqTLL = 10;
    if (m.mdl.isEmpty())
        m.ok = false;
    return m;
}

CvqRomVer::CvqRomVer(const QString& text)
{
    QString buf;
    bool seenDigit = false;
    bool bad = false;
    auto flush = [&]() {
        if (buf.isEmpty() || buf.size() > 8) {
            bad = true;
            return;
        }
        parts.append(buf.toInt());
        buf.clear();
    };
    bool stopped = false;
    for (QChar c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!seenDigit) {
            if (digit) {
                seenDigit = true;
                buf += c;
            } else if (c == '.') {
                bad = true;
                break;
            }
            continue;
        }
        if (digit) {
            buf += c;
            if (buf.size() > 8) {  // no need to collect more: the version is invalid
                bad = true;
                break;
            }
        } else if (c == '.') {
            flush();
            if (bad)
                break;
        } else {
            flush();
            stopped = true;
            break;
        }
    }
    if (!bad && !stopped && !buf.isEmpty())
        flush();
    valid = !bad && parts.size() >= 2;
}

static bool zerosFrom(const QList<int>& l, int from)
{
    for (int i = from; i < l.size(); ++i)
        if (l.at(i) != 0)
            return false;
    return true;
}

bool CvqRomVer::operator<(const CvqRomVer& o) const
{
    if (!valid || !o.valid)
        return !valid && o.valid;
    const int common = qMin(parts.size(), o.parts.size());
    for (int i = 0; i < common; ++i)
        if (parts.at(i) != o.parts.at(i))
            return parts.at(i) < o.parts.at(i);
    return parts.size() < o.parts.size() && !zerosFrom(o.parts, common);
}

bool CvqRomVer::operator==(const CvqRomVer& o) const
{
    if (!valid || !o.valid)
        return !valid && !o.valid;
    const int common = qMin(parts.size(), o.parts.size());
    for (int i = 0; i < common; ++i)
        if (parts.at(i) != o.parts.at(i))
            return false;
    return zerosFrom(parts, common) && zerosFrom(o.parts, common);
}

QDebug operator<<(QDebug dbg, const CvqRomVer& v)
{
    QDebugStateSaver saver(dbg);
    QStringList nums;
    for (int n : v.parts)
        nums << QString::number(n);
    dbg.nospace() << "CvqRomVer(" << (v.valid ? "true" : "false") << "," << nums.join('.') << ")";
    return dbg;
}

const QString vqUpRomThreshold = QStringLiteral("V1.3.6406");

bool vqRomUpgradeDue(const QString& printerVersion)
{
    return !(CvqRomVer(vqUpRomThreshold) < CvqRomVer(printerVersion));
}
