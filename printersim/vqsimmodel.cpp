#include "vqsimmodel.h"

const QList<CvqSimModel>& CvqSimModel::vqAll()
{
    static const QList<CvqSimModel> models = {
        {"P4120W", "0101", 2, false},  {"M5020F", "0109", 2, true},   {"P7760FDN", "0106", 1, false},
        {"M5960FDW", "0111", 2, true}, {"P5220DN", "0187", 3, false}, {"M-Series", "01D1", 2, true},
    };
    return models;
}

CvqSimModel CvqSimModel::vqOf(const QString& type)
{
    for (const CvqSimModel& m : vqAll())
        if (m.type.compare(type, Qt::CaseInsensitive) == 0)
            return m;
    return {type, QStringLiteral("0101"), 2, false};
}
