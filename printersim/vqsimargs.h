#pragma once
// The words of a control line: splitting, key=value options, bounded numbers.

#include <QMap>
#include <QStringList>

// Splits a control line into words; "…" quotes a word (\" \\ \n inside).
// False on an unterminated quote.
bool vqSimSplitLine(const QString& line, QStringList* words);
// The key=value words from index from on (the last value of a key wins).
QMap<QString, QString> vqSimOptions(const QStringList& words, int from);
// A number, decimal or 0x hex, within [lo, hi]; a null text (an absent option) leaves *v as it is.
bool vqSimNumber(const QString& text, qint64* v, qint64 lo, qint64 hi);
