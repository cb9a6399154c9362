#include "vqsimargs.h"

bool vqSimSplitLine(const QString& line, QStringList* words)
{
    words->clear();
    QString cur;
    bool inWord = false, quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size()) {
            ++i;
            cur += line[i] == 'n' ? QChar('\n') : line[i];
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (quoted || !c.isSpace()) {
            cur += c;
            inWord = true;
        } else if (inWord) {
            words->append(cur);
            cur.clear();
            inWord = false;
        }
    }
    if (inWord)
        words->append(cur);
    return !quoted;
}

QMap<QString, QString> vqSimOptions(const QStringList& words, int from)
{
    QMap<QString, QString> o;
    for (int i = from; i < words.size(); ++i)
        o.insert(words[i].section('=', 0, 0), words[i].contains('=') ? words[i].section('=', 1) : QString());
    return o;
}

bool vqSimNumber(const QString& text, qint64* v, qint64 lo, qint64 hi)
{
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qint64 n = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (text.isNull() || !ok || n < lo || n > hi)
        return text.isNull();
    *v = n;
    return true;
}
