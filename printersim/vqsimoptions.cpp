#include "vqsimoptions.h"

bool vqSimParseNumber(const QString& text, qint64* v)
{
    bool ok = false;
    *v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toLongLong(&ok, 16)
                                                                   : text.toLongLong(&ok, 10);
    return ok;
}

CvqSimOptions::CvqSimOptions(const QStringList& args, int from)
{
    for (int i = from; i < args.size(); ++i) {
        const QString& a = args[i];
        const int eq = a.indexOf('=');
        mItems.append({eq < 0 ? a : a.left(eq), eq < 0 ? QString() : a.mid(eq + 1), a, eq > 0});
    }
}

QStringList CvqSimOptions::vqWords() const
{
    QStringList words;
    for (const Item& it : mItems)
        if (!it.text.contains('='))
            words << it.text;
    return words;
}

bool CvqSimOptions::vqHas(const QString& key) const
{
    for (const Item& it : mItems)
        if (it.isOption && it.key == key)
            return true;
    return false;
}

QString CvqSimOptions::vqValue(const QString& key, const QString& fallback) const
{
    for (int i = mItems.size() - 1; i >= 0; --i)
        if (mItems[i].isOption && mItems[i].key == key)
            return mItems[i].value;
    return fallback;
}

bool CvqSimOptions::vqNumber(const QString& key, qint64* v) const
{
    return !vqHas(key) || vqSimParseNumber(vqValue(key), v);
}
