// What Windows shows of the programs, read back from the built files through Windows' own calls:
// the version resource, the manifest's requests, and the icon Explorer and the task bar take.
#include "vqtestsupport.h"

#include <QXmlStreamReader>

#include <windows.h>

namespace {
const wchar_t* wide(const QString& s) { return reinterpret_cast<const wchar_t*>(s.utf16()); }

// One field of a program, "<missing>" when it has none.
QString readField(const QString& exe, const QString& field)
{
    const QString path = qEnvironmentVariable("VQ_BIN_DIR") + '/' + exe;
    QByteArray info(int(GetFileVersionInfoSizeW(wide(path), nullptr)), 0);
    if (field.startsWith("version ")) {
        void* value = nullptr;
        UINT len = 0;
        if (info.isEmpty() || !GetFileVersionInfoW(wide(path), 0, DWORD(info.size()), info.data()))
            return "<missing>";
        if (field == "version fixed") {
            if (!VerQueryValueW(info.constData(), L"\\", &value, &len) || len < sizeof(VS_FIXEDFILEINFO))
                return "<missing>";
            const auto* f = static_cast<const VS_FIXEDFILEINFO*>(value);
            return QString("%1.%2.%3.%4 product %5.%6.%7.%8")
                .arg(HIWORD(f->dwFileVersionMS))
                .arg(LOWORD(f->dwFileVersionMS))
                .arg(HIWORD(f->dwFileVersionLS))
                .arg(LOWORD(f->dwFileVersionLS))
                .arg(HIWORD(f->dwProductVersionMS))
                .arg(LOWORD(f->dwProductVersionMS))
                .arg(HIWORD(f->dwProductVersionLS))
                .arg(LOWORD(f->dwProductVersionLS));
        }
        const QString key = "\\StringFileInfo\\040904b0\\" + field.mid(8);
        if (!VerQueryValueW(info.constData(), wide(key), &value, &len) || !len)
            return "<missing>";
        return QString::fromWCharArray(static_cast<const wchar_t*>(value)).trimmed();
    }
    HMODULE module = LoadLibraryExW(wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module)
        return "<not loaded>";
    QStringList out;
    if (field == "icon sizes") {  // the group Qt and Explorer take, its images' widths (0: 256)
        if (HRSRC res = FindResourceW(module, L"IDI_ICON1", MAKEINTRESOURCEW(14))) {
            const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, res)));
            const int count = dir ? dir[4] | dir[5] << 8 : 0;
            for (int i = 0; i < count && 6 + 14 * (i + 1) <= int(SizeofResource(module, res)); ++i)
                out << QString::number(dir[6 + 14 * i] ? dir[6 + 14 * i] : 256);
        }
    } else if (HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {  // the manifest
        QXmlStreamReader xml(QByteArray(static_cast<const char*>(LockResource(LoadResource(module, res))),
                                        int(SizeofResource(module, res))));
        const QString want = field.mid(9);  // "manifest <element>"
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != want)
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            out << (want == "requestedExecutionLevel" ? a.value("level").toString()
                        : want == "supportedOS"       ? a.value("Id").toString()
                        : want == "assemblyIdentity"  ? a.value("name") + ' ' + a.value("version")
                                                      : xml.readElementText());
        }
        if (xml.hasError())
            out << "<bad XML: " + xml.errorString() + ">";
    }
    FreeLibrary(module);
    return out.isEmpty() ? "<missing>" : out.join(' ');
}
}  // namespace

class TstWinRes : public QObject
{
    Q_OBJECT
private slots:
    void programs_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        const QStringList v = QStringLiteral(VQ_VERSION ".0.0.0").split('.').mid(0, 4);
        const QStringList fields = {
            "version ProductName|" VQ_PRODUCT_NAME,
            "version CompanyName|" VQ_COMPANY,
            "version FileVersion|" VQ_VERSION,
            "version ProductVersion|" VQ_VERSION,
            "version fixed|" + v.join('.') + " product " + v.join('.'),
            "icon sizes|256 64 48 40 32 24 20 16",
            "manifest requestedExecutionLevel|asInvoker",
            "manifest supportedOS|{35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} "
            "{1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
            "manifest dpiAware|true/PM",
            "manifest assemblyIdentity|Microsoft.Windows.Common-Controls 6.0.0.0"};
        for (const QString& program : QStringLiteral(VQ_WIN_PROGRAMS).split(',')) {
            const QStringList p = program.split('=');  // name=description
            for (const QString& f :
                 fields + QStringList{"version FileDescription|" + p[1], "version OriginalFilename|" + p[0] + ".exe"}) {
                const QStringList fe = f.split('|');
                QTest::addRow("%s %s", qPrintable(p[0]), qPrintable(fe[0])) << p[0] + ".exe" << fe[0] << fe[1];
            }
        }
    }
    void programs()
    {
        QFETCH(QString, exe);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        QCOMPARE(readField(exe, field), expected);
    }
};

VQ_TEST_GUILESS_MAIN(TstWinRes)
#include "tst_winres.moc"
