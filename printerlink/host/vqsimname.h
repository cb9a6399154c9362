#pragma once
// Names in the simulated host tree: each component is stored in a form every
// file system can hold, so a tree written on Linux reads the same under Wine.
// Characters Windows refuses in a file name, '%', control characters and a
// trailing space or dot become %XX (uppercase hex of each UTF-8 byte).
// Header-only: the tree's writer (printersim) and reader (printerlink) share it.

#include <QByteArray>
#include <QString>

inline QString vqSimNameEncode(const QString& name)
{
    const QByteArray in = name.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        const char c = in[i];
        const bool last = i == in.size() - 1;
        if (uchar(c) < 0x20 || QByteArray::fromRawData("\"*/:<>?\\|%", 10).contains(c)
            || (last && (c == ' ' || c == '.'))) {
            out += '%';
            out += QByteArray(1, c).toHex().toUpper();
        } else {
            out += c;
        }
    }
    return QString::fromUtf8(out);
}

// The name a stored component stands for; a null string when it is not in the
// encoded form (a bad or needless escape, a raw character that must be escaped),
// so that one name has exactly one spelling.
inline QString vqSimNameDecode(const QString& stored)
{
    const QByteArray in = stored.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        bool ok = false;
        const int v = in.mid(i + 1, 2).toInt(&ok, 16);
        if (!ok || i + 2 >= in.size())
            return QString();
        out += char(v);
        i += 2;
    }
    const QString name = QString::fromUtf8(out);
    return !name.isEmpty() && vqSimNameEncode(name) == stored ? name : QString();
}
