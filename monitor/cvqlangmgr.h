#pragma once
// The process-wide language manager: picks the translation catalogue at
// start-up from the system locale and switches it on request.

#include <QMap>
#include <QString>
#include <QStringList>

class QTranslator;

// Display names offered to the user, null-terminated.
extern const char* const vqLangNames[];
// Display name -> catalogue resource.
extern const QMap<QString, QString> vqLangQmFiles;

// Makes the compiled-in resources (images, catalogues) available; idempotent.
void vqInitResources();

class CvqLangMgr
{
public:
    // The process-wide instance, created on first call and never destroyed.
    static CvqLangMgr* instance();

    // A manager offering `names`, choosing by `localeName`; installs its translator.
    CvqLangMgr(const QStringList& names, const QString& localeName);
    ~CvqLangMgr();
    CvqLangMgr(const CvqLangMgr&) = delete;
    CvqLangMgr& operator=(const CvqLangMgr&) = delete;

    const QStringList& offeredNames() const { return offered; }
    const QString& currentName() const { return current; }
    // Switches to `name` (the first offered name when it is not offered or not
    // known); returns the name now in force.
    QString switchTo(QString name);

private:
    void load();

    QTranslator* translator;
    QStringList offered;
    QString current;
};
