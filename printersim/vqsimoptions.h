#pragma once
// The key=value words that follow a control command ("scan pages=3",
// "linkfault pieces size=2"), parsed once for every command that takes them.

#include <QList>
#include <QString>
#include <QStringList>

// A number in decimal or with a 0x prefix.
bool vqSimParseNumber(const QString& text, qint64* v);

class CvqSimOptions
{
public:
    struct Item
    {
        QString key;    // the text before the first '=', the whole word when there is none
        QString value;  // the text after it
        QString text;   // the word as given
        bool isOption;  // "key=value" with a non-empty key
    };

    CvqSimOptions(const QStringList& args, int from);

    // Every word in order (for commands that check each one).
    const QList<Item>& vqItems() const { return mItems; }
    // The words without '='.
    QStringList vqWords() const;

    bool vqHas(const QString& key) const;
    // The last value given for key.
    QString vqValue(const QString& key, const QString& fallback = QString()) const;
    // A number option: *v keeps its value when the key is absent; false when
    // it is given but not a number.
    bool vqNumber(const QString& key, qint64* v) const;

private:
    QList<Item> mItems;
};
