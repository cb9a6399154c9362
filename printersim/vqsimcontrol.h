#pragma once
// The control side of the emulator: printers by name, the line protocol and
// its verbs, sessions (control port connections, played scenarios) and
// scenario files.

#include "vqsimprinter.h"

#include <QDeadlineTimer>
#include <functional>

class CvqSimControl;

// Splits a control line into words; "…" quotes a word (\" \\ \n inside).
// False on an unterminated quote.
bool vqSimSplitLine(const QString& line, QStringList* words);

// One source of commands. Runs its lines in order; sleep and wait hold only this session.
class CvqSimSession : public QObject
{
public:
    using Sink = std::function<void(const QString&)>;
    // A scenario's session (origin: its file) reports only what fails.
    CvqSimSession(CvqSimControl* ctl, Sink sink, const QString& origin = QString(), QObject* parent = nullptr);

    void vqFeed(const QStringList& lines);
    // Holds the session for up to ms, or until cond gives 1.
    void vqHold(int ms, std::function<int()> cond = nullptr);
    QString current = QStringLiteral("p1");
    std::function<void()> drained;  // called once, when no line waits any more

private:
    void process();
    void report(const QString& line, const QString& reply);

    CvqSimControl* mCtl;
    Sink mSink;
    QString mOrigin;
    QStringList mPending;
    bool mBusy = false;
    QTimer mTmr;
    QDeadlineTimer mDeadline;
    std::function<int()> mCond;  // for wait: 1 holds, 0 not yet
};

class CvqSimControl : public QObject
{
public:
    static constexpr int kMaxLine = 4096;
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
    struct Line;
    struct Verb;
    static const Verb* vqVerb(const QString& word);
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
