#pragma once
// The control side of the emulator: printers by name, the line protocol and
// the verbs on sessions, printers and scenarios (what one printer is told is
// vqsimverbs.h), and scenario files.

#include "vqsimprinterconfig.h"

#include <QMap>
#include <QObject>
#include <QStringList>

class CvqSimPrinter;
class CvqSimSession;
class CvqSimTree;

class CvqSimControl : public QObject
{
public:
    CvqSimControl(CvqSimTree* tree, const QString& outDir, qint64 fsLimit, const QString& winePrefix,
                  bool bareId = false);
    ~CvqSimControl() override;

    bool vqAddPrinter(const QString& name, CvqSimPrinterConfig cfg, QString* error);
    QList<CvqSimPrinter*> vqPrinters() const { return mOrder; }
    void vqRemoveAllFromTree();

    // Runs one line for a session: data lines go to out, the reply ("ok…" or
    // "err …") is returned; a null reply: the session holds and replies later.
    // Inside a state, sleep and wait are skipped.
    QString vqRun(CvqSimSession* s, const QString& line, QStringList* out, bool inState = false);
    // Loads a scenario file; its steps become named states.
    bool vqLoad(const QString& file, QString* error);
    // Accepts control connections on 127.0.0.1:port; the line naming it ("127.0.0.1:PORT TOKEN"), empty on failure.
    QString vqListen(quint16 port, QString* error);
    void vqPrint(const QString& line);
    void vqQuit();

private:
    // One control line as a verb sees it: its words, its printer (when it
    // exists), where data lines go; a verb that holds the session sets hold.
    struct Line
    {
        CvqSimSession* s;
        CvqSimPrinter* p;
        QStringList w;
        QStringList* out;
        bool inState;
        bool hold;
    };
    // A verb on sessions, printers or scenarios.
    struct Verb
    {
        const char* name;
        int minArgs, maxArgs;  // after the verb
        bool onPrinter;        // acts on the line's printer, which must exist
        // The reason it was refused; empty: done.
        QString (CvqSimControl::*run)(Line&);
    };
    static const Verb* vqVerb(const QString& word);
    static bool vqIsVerb(const QString& word);
    QString use(Line& l);
    QString add(Line& l);
    QString remove(Line& l);
    QString status(Line& l);
    QString sleep(Line& l);
    QString wait(Line& l);
    QString state(Line& l);
    QString play(Line& l);
    QString quit(Line& l);

    bool vqParseScenario(const QString& file, QMap<QString, QStringList>* steps, QStringList* all, QString* error);
    QString vqPlay(const QString& file);

    CvqSimTree* mTree;
    QString mOutDir;
    qint64 mFsLimit;
    QString mWinePrefix;
    bool mBareId;
    QMap<QString, CvqSimPrinter*> mPrinters;
    QList<CvqSimPrinter*> mOrder;
    QMap<QString, QStringList> mSteps;
    int mScenarios = 0;
    bool mQuitting = false;
};
