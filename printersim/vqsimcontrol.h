#pragma once
// The control side of the emulator: printers by name, the line protocol,
// sessions (standard input, control port connections, scenarios) and
// scenario files.

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

class CvqSimPrinter;
class CvqSimTree;
class CvqSimControl;
struct CvqSimPrinterConfig;

// Splits a control line into words; "…" quotes a word (\" \\ \n inside).
// False on an unterminated quote.
bool vqSimSplitLine(const QString& line, QStringList* words);

// One source of commands. Runs its lines in order; sleep, wait and pause
// hold only this session.
class CvqSimSession : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const QString&)>;
    CvqSimSession(CvqSimControl* ctl, Sink sink, bool scenario, QObject* parent = nullptr);

    void vqFeed(const QString& line) { vqFeed(QStringList{line}); }
    void vqFeed(const QStringList& lines);
    bool vqIdle() const { return !mBusy && mPending.isEmpty(); }
    void vqResume();
    QString current;
    QString origin;  // names the scenario in its messages

signals:
    void vqDrained();

private:
    friend class CvqSimControl;
    void process();
    void hold(int ms);
    void finishHold(const QString& reply);

    CvqSimControl* mCtl;
    Sink mSink;
    bool mScenario;
    QStringList mPending;
    bool mBusy = false;
    QTimer mTmr;
    QTimer mPollTmr;
    std::function<int()> mCond;  // for wait: 1 holds, 0 not yet
    bool mPaused = false;
};

class CvqSimControl : public QObject
{
    Q_OBJECT
public:
    CvqSimControl(CvqSimTree* tree, const QString& outDir, qint64 fsLimit, QObject* parent = nullptr);
    ~CvqSimControl() override;

    bool vqAddPrinter(const QString& name, CvqSimPrinterConfig cfg, QString* error);
    CvqSimPrinter* vqPrinter(const QString& name) const;
    QList<CvqSimPrinter*> vqPrinters() const { return mOrder; }
    void vqRemoveAllFromTree();

    // Runs one line for a session; the reply lines go to out, the last one
    // "ok…" or "err …". Returns false when the session must wait (the reply
    // comes later through the session).
    bool vqRun(CvqSimSession* s, const QString& line, QStringList* out, int depth = 0);

    // Loads a scenario file; its steps become named states.
    bool vqLoad(const QString& file, QString* error);
    // Plays a scenario (or one step) in a session of its own.
    bool vqPlay(const QString& file, const QString& step, QString* error);
    bool vqScenarioRunning() const { return mScenarios > 0; }

    void vqSetQuiet(bool q) { mQuiet = q; }
    void vqSetKeep(bool k) { mKeep = k; }
    void vqSetWinePrefix(const QString& dir) { mWinePrefix = dir; }
    void vqPrint(const QString& line);
    void vqQuit();

signals:
    void vqScenarioFinished();

private:
    struct Scenario
    {
        QStringList prologue;
        QList<QPair<QString, QStringList>> steps;
    };
    bool vqParseScenario(const QString& file, Scenario* sc, QString* error);
    bool vqKnownCommand(const QStringList& words) const;

    CvqSimTree* mTree;
    QString mOutDir;
    qint64 mFsLimit;
    QMap<QString, CvqSimPrinter*> mPrinters;
    QList<CvqSimPrinter*> mOrder;
    QMap<QString, QStringList> mSteps;
    QList<QPointer<CvqSimSession>> mPaused;
    int mScenarios = 0;
    bool mQuiet = false;
    bool mKeep = false;
    QString mWinePrefix;
    bool mQuitting = false;

    friend class CvqSimSession;
};
