#pragma once
// What a control line tells one printer ("fault paper-jam", "scan pages=3" …):
// a table of small functions over the printer's setter interface.

#include <QStringList>

class CvqSimSettable;

struct CvqSimVerb
{
    const char* name;
    int minArgs, maxArgs;  // after the verb
    // words[0] is the verb; data lines go to out. The reason it was refused; empty: done.
    QString (*run)(CvqSimSettable& p, const QStringList& words, QStringList* out);

    // The printer verb of that name; null for none.
    static const CvqSimVerb* vqFind(const QString& word);
};
