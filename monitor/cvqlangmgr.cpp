#include "cvqlangmgr.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

const char* const vqLangNames[] = {"简中", nullptr};

const QMap<QString, QString> vqLangQmFiles = {
    {QString::fromUtf8("简中"), QStringLiteral(":/translate/zh_CN.qm")},
    {QStringLiteral("English"), QStringLiteral(":/translate/en_US.qm")},
    {QString::fromUtf8("Русский"), QStringLiteral(":/translate/ru_RU.qm")},
};

// Resources live in the static monitor library: reference them so the linker keeps them.
static void initResourcesOnce()
{
    Q_INIT_RESOURCE(vqres);
    Q_INIT_RESOURCE(vqtranslate);
}

void vqInitResources()
{
    static const bool done = (initResourcesOnce(), true);
    Q_UNUSED(done);
}

CvqLangMgr* CvqLangMgr::instance()
{
    static CvqLangMgr* mgr = [] {
        QStringList names;
        for (const char* const* n = vqLangNames; *n; ++n)
            names << QString::fromUtf8(*n);
        return new CvqLangMgr(names, QLocale::system().name());
    }();
    return mgr;
}

CvqLangMgr::CvqLangMgr(const QStringList& names, const QString& localeName)
    : translator(new QTranslator), offered(names)
{
    vqInitResources();
    current = offered.value(0);
    const QString zh = QString::fromUtf8("简中");
    const QString en = QStringLiteral("English");
    const QString ru = QString::fromUtf8("Русский");
    if (localeName == QLatin1String("zh_CN") && offered.contains(zh))
        current = zh;
    else if (localeName == QLatin1String("en_US") && offered.contains(en))
        current = en;
    else if (localeName == QLatin1String("ru_RU") && offered.contains(ru))
        current = ru;
    load();
}

CvqLangMgr::~CvqLangMgr()
{
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

void CvqLangMgr::load()
{
    const QString qm = vqLangQmFiles.value(current);
    if (qm.isEmpty() || !translator->load(qm))
        qDebug() << "CvqLangMgr: no catalogue for" << current;
    // Installing again makes Qt send the language-change events.
    QCoreApplication::removeTranslator(translator);
    QCoreApplication::installTranslator(translator);
}

QString CvqLangMgr::switchTo(QString name)
{
    if (!offered.contains(name) || !vqLangQmFiles.contains(name))
        name = offered.value(0);
    current = name;
    load();
    return current;
}
